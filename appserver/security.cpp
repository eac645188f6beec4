#include "security.h"

#include "platform/errors.h"
#include "store/stationkey.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

#include <sys/stat.h>

namespace lockserver {

namespace sk = kx::stationkey;

void CheckListenPolicy(const QHostAddress &address, bool haveKeys, bool insecure)
{
    if (address.isLoopback() || haveKeys || insecure)
        return;
    throw kx::Error(
        QStringLiteral("Refusing to listen on %1 without --key-file: every computer that reaches it "
                       "could read and change the lock database. Give --key-file FILE, or "
                       "--insecure to do so on purpose.")
            .arg(address.toString()));
}

namespace {

QByteArray ReadWhole(const QString &path, const QString &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw kx::Error(QStringLiteral("Could not read %1 %2: %3").arg(what, path, file.errorString()));
    return file.readAll();
}

QString Fingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
}

} // namespace

QSslConfiguration LoadTlsConfiguration(const QString &certFile, const QString &keyFile)
{
    if (!QSslSocket::supportsSsl())
        throw kx::Error(QStringLiteral("TLS is not available: Qt finds no OpenSSL on this system"));
    const QList<QSslCertificate> chain =
        QSslCertificate::fromData(ReadWhole(certFile, QStringLiteral("certificate")));
    if (chain.isEmpty())
        throw kx::Error(QStringLiteral("%1 holds no PEM certificate").arg(certFile));
    sk::RequireOwnerOnly(keyFile, QStringLiteral("TLS key file"));
    const QByteArray pem = ReadWhole(keyFile, QStringLiteral("TLS key file"));
    QSslKey key(pem, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Rsa);
    if (key.isNull())
        throw kx::Error(QStringLiteral("%1 holds no unencrypted PEM private key (EC or RSA)").arg(keyFile));

    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone); // stations prove themselves by their key
    config.setProtocol(QSsl::TlsV1_2OrLater);
    return config;
}

int MakeTlsCertificate(const QString &folder, QTextStream &out)
{
    if (!QDir().mkpath(folder))
        throw kx::Error(QStringLiteral("Could not make the folder %1").arg(folder));
    const QString cert = QDir(folder).filePath(QStringLiteral("lockserver.crt"));
    const QString key = QDir(folder).filePath(QStringLiteral("lockserver.key"));
    for (const QString &path : {cert, key}) {
        if (QFile::exists(path))
            throw kx::Error(
                QStringLiteral("%1 exists already: remove it first or choose another folder").arg(path));
    }
    const mode_t previous = ::umask(077); // the key is never readable by others, not even for a moment
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-days"), QStringLiteral("3650"), QStringLiteral("-subj"),
         QStringLiteral("/CN=lockserver"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    const bool finished = openssl.waitForFinished(60000);
    ::umask(previous);
    if (!finished || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        throw kx::Error(QStringLiteral("openssl could not make the certificate: %1")
                            .arg(openssl.error() == QProcess::FailedToStart
                                     ? QStringLiteral("openssl is not installed")
                                     : QString::fromLocal8Bit(openssl.readAll()).trimmed()));
    const QList<QSslCertificate> made = QSslCertificate::fromPath(cert);
    if (made.isEmpty())
        throw kx::Error(QStringLiteral("openssl made no readable certificate in %1").arg(cert));
    out << "certificate " << cert << "\nprivate key " << key << "\nfingerprint " << Fingerprint(made.first())
        << "\n";
    return 0;
}

int MakeStationKey(const QString &name, QTextStream &out)
{
    if (name.isEmpty() || name.contains(QChar(u' ')) || name.contains(QChar(u'\t')))
        throw kx::Error(QStringLiteral("station-key needs a station name without spaces"));
    out << name << ' ' << sk::NewNonce() << '\n';
    return 0;
}

QString ReadPasswordFile(const QString &path)
{
    sk::RequireOwnerOnly(path, QStringLiteral("Password file"));
    const QByteArray text = ReadWhole(path, QStringLiteral("password file"));
    const qsizetype end = text.indexOf('\n');
    QByteArray line = end < 0 ? text : text.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw kx::Error(QStringLiteral("Password file %1 is empty").arg(path));
    return QString::fromUtf8(line);
}

} // namespace lockserver
