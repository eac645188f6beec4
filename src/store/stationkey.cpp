#include "stationkey.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <sys/stat.h>

namespace kx::stationkey {

void RequireOwnerOnly(const QString &path, const QString &what)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return; // opening it gives the clear error
    const unsigned mode = info.st_mode & 07777;
    if (mode & (S_IRWXG | S_IRWXO))
        throw kx::Error(
            QStringLiteral("%1 %2 can be read or changed by others (mode %3); make it readable by "
                           "its owner only: chmod 600 %2")
                .arg(what, path, QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'))));
}

QList<StationKey> ReadKeyFile(const QString &path)
{
    RequireOwnerOnly(path, QStringLiteral("Key file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw kx::Error(QStringLiteral("Could not read key file %1: %2").arg(path, file.errorString()));
    QList<StationKey> keys;
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (words.size() > 2)
            throw kx::Error(
                QStringLiteral("Key file %1, line %2: use KEY or NAME KEY").arg(path).arg(lineNumber));
        const QString &secret = words.last();
        if (secret.size() < MinKeyLength)
            throw kx::Error(QStringLiteral("Key file %1, line %2: a key needs at least %3 characters")
                                .arg(path)
                                .arg(lineNumber)
                                .arg(MinKeyLength));
        const QString name = words.size() == 2 ? words.first() : QStringLiteral("line %1").arg(lineNumber);
        keys.append({name, secret.toUtf8()});
    }
    if (keys.isEmpty())
        throw kx::Error(QStringLiteral("Key file %1 holds no key").arg(path));
    return keys;
}

QString NewNonce()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

bool IsNonce(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{32,128}$"));
    return hex.match(text).hasMatch();
}

QString Proof(const QByteArray &secret, Role role, const QString &serverNonce, const QString &stationNonce)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, secret);
    const QByteArray who = role == Role::Station ? "kandrilox station\n" : "kandrilox server\n";
    mac.addData(who + serverNonce.toLatin1() + '\n' + stationNonce.toLatin1());
    return QString::fromLatin1(mac.result().toHex());
}

bool SameProof(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    unsigned difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= unsigned(a[i].unicode() ^ b[i].unicode());
    return difference == 0;
}

} // namespace kx::stationkey
