// hotellock-card: lays a card on the virtual encoder, takes it away, and
// shows what it holds.
//   hotellock-card [--ini PATH] place [--serial HEX8] | remove | show [--json]
// Exit codes: 0 done, 1 no card on the encoder (show), 2 bad usage or a card
// file that cannot be read or written.

#include "cardimage.h"
#include "cardslot.h"
#include "platform/programversion.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextStream>

#include <cctype>
#include <cstdio>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitNoCard = 1;
constexpr int ExitFailure = 2;

QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

int Fail(const QString &message)
{
    std::fprintf(stderr, "hotellock-card: %s\n", qUtf8Printable(message));
    return ExitFailure;
}

const char UsageText[] =
    "usage: hotellock-card [--ini PATH] place [--serial HEX8] | remove | show [--json]\n"
    "Lays a card on the virtual encoder, takes it away, or shows what it holds.\n"
    "  --ini PATH       the settings file the encoder library is given (default Kandrilox.ini)\n"
    "  place            lay a blank card (the serial as the Rom text shows it, else a random one)\n"
    "  remove           take the card away\n"
    "  show [--json]    print what the card holds\n"
    "  --help, --version  print this text, or the version\n";

int Usage(const QString &message)
{
    Fail(message);
    std::fputs(UsageText, stderr);
    return ExitFailure;
}

// The serial as the interface client's Rom text shows it: byte 3 first.
QString SerialText(const hotellock::CardImage &card)
{
    return QString::asprintf("%02X%02X%02X%02X", card.serial[3], card.serial[2], card.serial[1],
                             card.serial[0]);
}

bool ParseSerial(const QString &text, std::uint8_t serial[4])
{
    if (text.size() != 8)
        return false;
    // ASCII only: QChar::isDigit() also admits other scripts' digits, which
    // toUInt() then turns into 0 without a word.
    for (QChar c : text) {
        if (c.unicode() >= 128 || !std::isxdigit(c.unicode()))
            return false;
    }
    for (int i = 0; i < 4; ++i)
        serial[3 - i] = static_cast<std::uint8_t>(text.mid(i * 2, 2).toUInt(nullptr, 16));
    return true;
}

// "yyyy-mm-dd hh:nn" from the words as stored; an all-zero time is no time.
QJsonValue LockTimeValue(const std::int16_t time[6])
{
    if (hotellock::IsZeroLockTime(time))
        return QJsonValue::Null;
    return QString::asprintf("%04d-%02d-%02d %02d:%02d", time[0], time[1], time[2], time[3], time[4]);
}

QString Words(const std::int16_t *words, int count)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QString::number(words[i]);
    return parts.join(QLatin1Char(' '));
}

int Place(const std::string &cardPath, const QStringList &args)
{
    std::uint8_t serial[4];
    if (args.isEmpty()) {
        const quint32 random = QRandomGenerator::global()->generate();
        for (int i = 0; i < 4; ++i)
            serial[i] = static_cast<std::uint8_t>(random >> (8 * i));
    } else if (args.size() != 2 || args[0] != QLatin1String("--serial")) {
        return Usage(QStringLiteral("place takes only --serial HEX8"));
    } else if (!ParseSerial(args[1], serial)) {
        return Usage(QStringLiteral("the serial must be eight hexadecimal digits, not \"%1\"").arg(args[1]));
    }
    const bool replaced = hotellock::LoadCardFile(cardPath).status != hotellock::LoadStatus::NoCard;
    const hotellock::CardImage card = hotellock::CardImage::Blank(serial);
    std::string error;
    if (!hotellock::SaveCardFile(cardPath, card, error))
        return Fail(QString::fromStdString(error));
    Out() << "Blank card " << SerialText(card) << " placed on the encoder"
          << (replaced ? " (the card that lay there was taken away)" : "") << " ("
          << QString::fromStdString(cardPath) << ")\n";
    return ExitOk;
}

int Remove(const std::string &cardPath)
{
    const bool present = hotellock::LoadCardFile(cardPath).status != hotellock::LoadStatus::NoCard;
    std::string error;
    if (!hotellock::RemoveCardFile(cardPath, error))
        return Fail(QString::fromStdString(error));
    Out() << (present ? "Card removed from the encoder\n" : "No card on the encoder; nothing to remove\n");
    return ExitOk;
}

int Show(const std::string &cardPath, const QStringList &args)
{
    const bool json = args == QStringList{QStringLiteral("--json")};
    if (!json && !args.isEmpty())
        return Usage(QStringLiteral("show takes only --json"));
    const hotellock::LoadResult loaded = hotellock::LoadCardFile(cardPath);
    if (loaded.status == hotellock::LoadStatus::Damaged ||
        loaded.status == hotellock::LoadStatus::UnknownVersion)
        return Fail(QStringLiteral("the card on the encoder cannot be read: %1")
                        .arg(QString::fromStdString(loaded.error)));

    const bool present = loaded.status == hotellock::LoadStatus::Present;
    const hotellock::CardImage &card = loaded.card;
    if (json) {
        QJsonObject object{{QStringLiteral("present"), present},
                           {QStringLiteral("serial"), QJsonValue::Null},
                           {QStringLiteral("room"), QJsonValue::Null},
                           {QStringLiteral("start"), QJsonValue::Null},
                           {QStringLiteral("end"), QJsonValue::Null},
                           {QStringLiteral("commonDataSector"), QJsonValue::Null}};
        if (present) {
            object[QStringLiteral("serial")] = SerialText(card);
            object[QStringLiteral("room")] = card.roomDoors[0];
            object[QStringLiteral("start")] = LockTimeValue(card.lockStart);
            object[QStringLiteral("end")] = LockTimeValue(card.lockEnd);
            if (card.hasCommonData)
                object[QStringLiteral("commonDataSector")] = card.commonDataSector;
        }
        Out() << QJsonDocument(object).toJson(QJsonDocument::Compact) << "\n";
        return present ? ExitOk : ExitNoCard;
    }
    if (!present) {
        Out() << "No card on the encoder (" << QString::fromStdString(cardPath) << ")\n";
        return ExitNoCard;
    }
    const auto timeText = [](const std::int16_t time[6]) {
        const QJsonValue value = LockTimeValue(time);
        return value.isNull() ? QStringLiteral("none") : value.toString();
    };
    Out() << "Card " << SerialText(card) << (card.IsBlank() ? " (blank)" : "") << "\n"
          << "  Room:               " << card.roomDoors[0] << "\n"
          << "  Valid from:         " << timeText(card.lockStart) << "\n"
          << "  Valid until:        " << timeText(card.lockEnd) << "\n"
          << "  Room/door words:    " << Words(card.roomDoors, 17) << "\n"
          << "  Card mode:          " << Words(card.cardMode, 9) << "\n"
          << "  Override:           " << card.enOverride << "\n"
          << "  Common data sector: "
          << (card.hasCommonData ? QString::number(card.commonDataSector) : QStringLiteral("none")) << "\n";
    return ExitOk;
}

int Run(QStringList args)
{
    if (args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        Out() << UsageText;
        return ExitOk;
    }
    if (args.size() == 1 && args[0] == QLatin1String("--version")) {
        kx::PrintVersion("hotellock-card");
        return ExitOk;
    }
    QString ini = QStringLiteral("Kandrilox.ini");
    if (!args.isEmpty() && args[0] == QLatin1String("--ini")) {
        if (args.size() < 2)
            return Usage(QStringLiteral("--ini needs a path"));
        ini = args[1];
        args = args.mid(2);
    }
    if (args.isEmpty())
        return Usage(QStringLiteral("no command given"));

    const QString settingsPath = QFileInfo(ini).absoluteFilePath();
    const std::string cardPath = hotellock::CardFilePath(QFile::encodeName(settingsPath).toStdString());
    hotellock::RemoveStaleTemporaries(cardPath);
    const QString command = args.takeFirst();
    if (command == QLatin1String("place"))
        return Place(cardPath, args);
    if (command == QLatin1String("remove"))
        return args.isEmpty() ? Remove(cardPath) : Usage(QStringLiteral("remove takes no options"));
    if (command == QLatin1String("show"))
        return Show(cardPath, args);
    return Usage(QStringLiteral("unknown command \"%1\"").arg(command));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rc = Run(app.arguments().mid(1));
    Out().flush();
    return rc;
}
