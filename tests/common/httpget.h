#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

// One HTTP GET on loopback, waited for with the event loop.
namespace testhttp {

struct Reply
{
    int status = 0; // 0: no answer
    QByteArray body;
    QByteArray contentType;
};

inline Reply Get(quint16 port, const QString &path, int timeoutMs = 10000)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    Reply result;
    if (reply->isFinished()) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
        result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    }
    reply->abort();
    reply->deleteLater();
    return result;
}

// The value of one sample line ("name{labels} value") of a Prometheus text, or -1.
inline double Sample(const QByteArray &text, const QByteArray &series)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toDouble();
    }
    return -1;
}

} // namespace testhttp
