#pragma once

#include "lockmake.h"
#include "server/cardinterface.h"

#include <QList>
#include <QString>

namespace kx {

// The journal's file in the program folder.
inline const QString CardJournalFile = QStringLiteral("CardJournal.json");

// One card operation as the journal keeps it: enough to tell, after a crash,
// what the operation had done and to finish a check-in's records.
struct JournalEntry
{
    // KeyCard: a duplicate or one-shot key, recorded by its card record alone.
    enum class Kind { CheckIn, CheckOut, KeyCard };
    enum class Step {
        CardWriting,    // check-in: the encoder is being asked to write the card
        CardWritten,    // check-in: the card is written, its records are being stored
        RecordsClosing, // check-out: the room's stays and cards are being closed
        CardErasing,    // check-out: the records are closed, the card is being erased
    };

    Kind kind = Kind::CheckIn;
    Step step = Step::CardWriting;
    TCardInterface request; // room, holder and stay as the front desk sent them
    TLock_Make card{};      // the card as written (check-in) or as read (check-out)
    QString id;             // names the entry in the file
    int cardType = 0;       // KeyCard: the CardType its card record gets

    // The card's serial as the records name it, or "unknown" before the card was read.
    QString CardSerial() const;
};

// The card operations in progress, in a small file of the program folder that
// only the station's user can read (it names guests). An operation records
// itself before it calls the encoder and is removed when its request is done;
// what is still in the file at the next start was interrupted. Every change is
// written to a new file, synced and renamed over the old one, so a crash leaves
// either the old or the new journal.
class CardJournal
{
public:
    explicit CardJournal(QString path);

    QString Path() const { return m_path; }

    // Starts a new operation with entry (a new id) or, once started, replaces
    // its entry; raises kx::Error when the file cannot be written, before the
    // encoder is touched.
    void Begin(const JournalEntry &entry);
    void Update(const JournalEntry &entry);
    // The operation in progress is done: its entry goes.
    void Finish();
    // The operation in progress ended without finishing what it began (an
    // error): its entry stays, as a leftover.
    void Abandon() { m_current.clear(); }

    // Entries of operations that are not in progress: left by an earlier run
    // or abandoned. Raises kx::Error for a file that cannot be read.
    QList<JournalEntry> Leftovers() const;
    bool HasLeftovers() const;
    void Remove(const QString &id);

private:
    QList<JournalEntry> Load() const;
    void Save(const QList<JournalEntry> &entries);
    void Put(const JournalEntry &entry);

    QString m_path;
    QString m_current; // id of the operation in progress, empty when none
};

} // namespace kx
