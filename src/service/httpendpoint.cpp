#include "httpendpoint.h"

#include "platform/errors.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>

#include <cstdio>

namespace kx::metrics {

namespace {

const QByteArray TextType = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray PrometheusType = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");

QString HostText(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
               ? QStringLiteral("[%1]").arg(address.toString())
               : address.toString();
}

} // namespace

HttpEndpoint::HttpEndpoint(std::function<QByteArray()> metrics, std::function<Health()> health)
    : m_metrics(std::move(metrics)), m_health(std::move(health)), m_context(std::make_unique<QObject>())
{
    m_thread.setObjectName(QStringLiteral("metrics"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

HttpEndpoint::~HttpEndpoint()
{
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            delete m_server;
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

quint16 HttpEndpoint::Listen(const QHostAddress &address, quint16 port)
{
    quint16 bound = 0;
    QString error;
    // The server and its sockets must be created on the thread that serves them.
    QMetaObject::invokeMethod(
        m_context.get(),
        [&] {
            delete m_server;
            m_server = new QHttpServer;
            m_server->route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                            [this] { return QHttpServerResponse(PrometheusType, m_metrics()); });
            m_server->route(QStringLiteral("/healthz"), QHttpServerRequest::Method::Get, [this] {
                const Health health = m_health();
                if (health.serving)
                    return QHttpServerResponse(TextType, QByteArrayLiteral("ok\n"));
                return QHttpServerResponse(TextType, health.reason.toUtf8() + '\n',
                                           QHttpServerResponse::StatusCode::ServiceUnavailable);
            });
            bound = m_server->listen(address, port);
            if (bound == 0) {
                error = QStringLiteral("Cannot serve metrics on %1:%2").arg(HostText(address)).arg(port);
                delete m_server;
                m_server = nullptr;
            }
        },
        Qt::BlockingQueuedConnection);
    if (bound == 0)
        throw Error(error);
    return bound;
}

void ParseMetricsAddress(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 65535 || host.isEmpty() || !address.setAddress(host))
        throw Error(
            QStringLiteral("'%1' is no metrics address: use PORT (on 127.0.0.1) or ADDR:PORT").arg(text));
    port = static_cast<quint16>(value);
}

void StartMetrics(HttpEndpoint &endpoint, const QString &metricsOption)
{
    QHostAddress address;
    quint16 port = 0;
    ParseMetricsAddress(metricsOption, address, port);
    const quint16 bound = endpoint.Listen(address, port);
    std::fprintf(stderr, "metrics on %s:%u\n", qPrintable(HostText(address)), unsigned(bound));
    std::fflush(stderr);
}

} // namespace kx::metrics
