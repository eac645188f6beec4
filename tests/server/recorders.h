#pragma once

#include "platform/errors.h"
#include "platform/notifier.h"
#include "server/cardoperations.h"

#include <QStringList>

#include <functional>

// Card operations that give set results and write every call into a journal
// (shared with the connection-log rows, so that the order of both shows).
class RecordingCardOperations : public kx::CardOperations
{
public:
    explicit RecordingCardOperations(QStringList &journal) : m_journal(journal) {}

    int checkRoomResult = 0;
    int checkInCardResult = 0;
    int checkOutResult = 1;
    int readCardResult = 1;
    TCardInterface card;                         // what a card read finds
    std::function<void(const QString &)> onStep; // runs after a call is journaled (may throw)

    int CheckRoom(const QByteArray &room) override
    {
        Step("CheckRoom " + room);
        return checkRoomResult;
    }
    int CheckInCard(const TCardInterface &request) override
    {
        Step("CheckInCard " + request.Room + " " + request.GuestName);
        return checkInCardResult;
    }
    void AddCardRecord(const TCardInterface &request) override { Step("AddCardRecord " + request.Room); }
    void AddGuestRecord(const TCardInterface &request) override { Step("AddGuestRecord " + request.Room); }
    int CheckOut(const QByteArray &room) override
    {
        Step("CheckOut " + room);
        return checkOutResult;
    }
    int ReadCardInfo(TCardInterface &out) override
    {
        Step("ReadCardInfo");
        if (readCardResult == 1)
            out = card;
        return readCardResult;
    }

private:
    void Step(const QByteArray &call)
    {
        const QString entry = QString::fromLatin1(call);
        m_journal << entry;
        if (onStep)
            onStep(entry);
    }

    QStringList &m_journal;
};

class RecordingNotifier : public kx::Notifier
{
public:
    QStringList errors;
    QStringList lines;

    void ReportError(const QString &text) override { errors << text; }
    void MessageBox(const QString &text, const QString &, Icon) override { lines << text; }
    void Beep() override {}
    void LogLine(const QString &text) override { lines << text; }
};
