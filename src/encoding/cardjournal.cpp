#include "cardjournal.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

const QStringList KindNames{QStringLiteral("checkin"), QStringLiteral("checkout"), QStringLiteral("key")};
const QStringList StepNames{QStringLiteral("card-writing"), QStringLiteral("card-written"),
                            QStringLiteral("records-closing"), QStringLiteral("card-erasing")};

QJsonObject ToJson(const JournalEntry &entry)
{
    const QByteArray card(reinterpret_cast<const char *>(&entry.card), sizeof entry.card);
    return QJsonObject{
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("kind"), KindNames[int(entry.kind)]},
        {QStringLiteral("step"), StepNames[int(entry.step)]},
        {QStringLiteral("room"), QString::fromLatin1(entry.request.Room)},
        {QStringLiteral("holder"), QString::fromLatin1(entry.request.GuestName)},
        {QStringLiteral("start"), entry.request.GuestInTime},
        {QStringLiteral("end"), entry.request.GuestLeaveTime},
        {QStringLiteral("card"), QString::fromLatin1(card.toHex())},
        {QStringLiteral("cardType"), entry.cardType},
    };
}

bool FromJson(const QJsonObject &o, JournalEntry &entry)
{
    const qsizetype kind = KindNames.indexOf(o.value(QStringLiteral("kind")).toString());
    const qsizetype step = StepNames.indexOf(o.value(QStringLiteral("step")).toString());
    const QByteArray card = QByteArray::fromHex(o.value(QStringLiteral("card")).toString().toLatin1());
    if (kind < 0 || step < 0 || card.size() != qsizetype(sizeof entry.card))
        return false;
    entry.id = o.value(QStringLiteral("id")).toString();
    entry.kind = JournalEntry::Kind(kind);
    entry.step = JournalEntry::Step(step);
    entry.request.Room = o.value(QStringLiteral("room")).toString().toLatin1();
    entry.request.GuestName = o.value(QStringLiteral("holder")).toString().toLatin1();
    entry.request.GuestInTime = o.value(QStringLiteral("start")).toDouble();
    entry.request.GuestLeaveTime = o.value(QStringLiteral("end")).toDouble();
    entry.cardType = o.value(QStringLiteral("cardType")).toInt();
    std::memcpy(&entry.card, card.constData(), sizeof entry.card);
    return true;
}

[[noreturn]] void RaiseFileError(const QString &what, const QString &path)
{
    throw Error(QStringLiteral("Could not %1 the card journal %2: %3")
                    .arg(what, path, QString::fromLocal8Bit(std::strerror(errno))));
}

// Makes a rename or removal in dir survive a crash.
void SyncFolder(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString JournalEntry::CardSerial() const
{
    const bool read = kind != Kind::CheckOut || step == Step::CardErasing;
    return read ? MakeRomText(card.CardRom) : QStringLiteral("unknown");
}

CardJournal::CardJournal(QString path) : m_path(std::move(path)) {}

QList<JournalEntry> CardJournal::Load() const
{
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Could not read the card journal %1: %2").arg(m_path, file.errorString()));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isArray())
        throw Error(
            QStringLiteral("The card journal %1 is damaged: %2").arg(m_path, parseError.errorString()));
    QList<JournalEntry> entries;
    for (const QJsonValue &v : doc.array()) {
        JournalEntry entry;
        if (!FromJson(v.toObject(), entry))
            throw Error(QStringLiteral("The card journal %1 holds an entry it cannot read").arg(m_path));
        entries << entry;
    }
    return entries;
}

void CardJournal::Save(const QList<JournalEntry> &entries)
{
    const QString dir = QFileInfo(m_path).absolutePath();
    if (entries.isEmpty()) {
        if (::unlink(QFile::encodeName(m_path).constData()) != 0 && errno != ENOENT)
            RaiseFileError(QStringLiteral("remove"), m_path);
        SyncFolder(dir);
        return;
    }
    QJsonArray array;
    for (const JournalEntry &e : entries)
        array.append(ToJson(e));
    const QByteArray data = QJsonDocument(array).toJson(QJsonDocument::Compact);

    // A fixed name for the new file: a crash while writing leaves at most this
    // one file, which the next write replaces.
    const QString next = m_path + QStringLiteral(".new");
    const QByteArray nextName = QFile::encodeName(next);
    const int fd = ::open(nextName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        RaiseFileError(QStringLiteral("write"), next);
    ::fchmod(fd, 0600); // a file left by an older run keeps no wider mode
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            RaiseFileError(QStringLiteral("write"), next);
        }
        done += n;
    }
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        RaiseFileError(QStringLiteral("write"), next);
    }
    ::close(fd);
    if (::rename(nextName.constData(), QFile::encodeName(m_path).constData()) != 0)
        RaiseFileError(QStringLiteral("write"), m_path);
    SyncFolder(dir);
}

void CardJournal::Put(const JournalEntry &entry)
{
    QList<JournalEntry> entries = Load();
    bool replaced = false;
    for (JournalEntry &e : entries) {
        if (e.id == entry.id) {
            e = entry;
            replaced = true;
        }
    }
    if (!replaced)
        entries << entry;
    Save(entries);
}

void CardJournal::Begin(const JournalEntry &entry)
{
    JournalEntry started = entry;
    started.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    Put(started);
    m_current = started.id;
}

void CardJournal::Update(const JournalEntry &entry)
{
    if (m_current.isEmpty())
        return Begin(entry);
    JournalEntry updated = entry;
    updated.id = m_current;
    Put(updated);
}

void CardJournal::Finish()
{
    if (m_current.isEmpty())
        return;
    Remove(std::exchange(m_current, QString()));
}

QList<JournalEntry> CardJournal::Leftovers() const
{
    QList<JournalEntry> entries = Load();
    entries.removeIf([this](const JournalEntry &e) { return e.id == m_current; });
    return entries;
}

bool CardJournal::HasLeftovers() const
{
    if (!QFile::exists(m_path))
        return false;
    return !Leftovers().isEmpty();
}

void CardJournal::Remove(const QString &id)
{
    QList<JournalEntry> entries = Load();
    entries.removeIf([&id](const JournalEntry &e) { return e.id == id; });
    Save(entries);
}

} // namespace kx
