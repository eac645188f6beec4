#include "settings.h"

#include "platform/profile.h"

#include <QFileInfo>

namespace fias {

namespace {

const QString Section = QStringLiteral("FIAS");

bool ReadNumber(const kx::ProfileFile &file, const char *key, int min, int max, int &value, QString &error)
{
    const QString name = QString::fromLatin1(key);
    const QString text = file.ReadString(Section, name, QString()).trimmed();
    if (text.isEmpty())
        return true;
    int number = 0;
    if (!kx::ProfileFile::ParseInteger(text, number) || number < min || number > max) {
        error = QStringLiteral("%1: '%2' is not a number from %3 to %4").arg(name, text).arg(min).arg(max);
        return false;
    }
    value = number;
    return true;
}

bool ReadSeconds(const kx::ProfileFile &file, const char *key, int min, int max, int &ms, QString &error)
{
    int seconds = ms / 1000;
    if (!ReadNumber(file, key, min, max, seconds, error))
        return false;
    ms = seconds * 1000;
    return true;
}

} // namespace

bool LoadLinkSettings(const QString &path, LinkSettings &settings, QString &error)
{
    if (!QFileInfo(path).isReadable()) {
        error = QStringLiteral("cannot read the settings file %1").arg(path);
        return false;
    }
    const kx::ProfileFile file(path);
    const QString departure = file.ReadString(Section, QStringLiteral("DepartureTime"), QString()).trimmed();
    if (!departure.isEmpty()) {
        const QTime time = QTime::fromString(departure, QStringLiteral("H:mm"));
        if (!time.isValid()) {
            error = QStringLiteral("DepartureTime: '%1' is not a time of the form hh:mm").arg(departure);
            return false;
        }
        settings.departureTime = time;
    }
    return ReadSeconds(file, "AnswerTimeout", 1, 600, settings.answerTimeoutMs, error) &&
           ReadSeconds(file, "AliveCheck", 1, 86400, settings.aliveCheckMs, error) &&
           ReadSeconds(file, "LinkAnswerTimeout", 1, 600, settings.linkAnswerMs, error) &&
           ReadSeconds(file, "ReconnectMin", 1, 600, settings.reconnectMinMs, error) &&
           ReadSeconds(file, "ReconnectMax", 1, 3600, settings.reconnectMaxMs, error) &&
           ReadNumber(file, "OneShotMinutes", 0, 7 * 24 * 60, settings.oneShotMinutes, error);
}

QByteArray LinkVersion()
{
    return QByteArray(KANDRILOX_VERSION).left(10);
}

} // namespace fias
