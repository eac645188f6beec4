#pragma once

#include "record.h"
#include "settings.h"
#include "station.h"

#include "platform/datetime.h"

#include <QDateTime>
#include <QDeadlineTimer>

#include <functional>

namespace kx {
class ProgramFolder;
}

namespace fias {

// One key record from the PMS (KR, KD or KZ) carried out on a station and
// answered: the station frames it needs, the order they go in, and the
// answer record (KA, or KZ for a key read).
class KeyTask
{
public:
    using Answer = std::function<void(const Record &answer)>;

    KeyTask(Record request, const LinkSettings &settings, const kx::ProgramFolder &folder, QDateTime now,
            Answer answer);

    const Record &request() const { return m_request; }
    QByteArray coder() const { return m_request.Value("KC"); }
    // The time by which the PMS must have its answer.
    const QDeadlineTimer &deadline() const { return m_deadline; }

    // Runs the request on the station; the answer goes out when it is done.
    void Run(Station &station, std::function<void()> finished);
    // Answers without running, with a status and a clear text of fiaslink's own.
    void Refuse(const QByteArray &answerStatus, const QString &text);

private:
    enum class Step { CheckIn, CheckOutFirst, CheckInAgain, CheckOut, Duplicate, OneShot, Read };

    // The first step, or false with the refusal already sent.
    bool Plan();
    void Send(Step step);
    void OnReply(const StationReply &reply);
    void AnswerResult(int code, char command);
    void AnswerCard(const QByteArray &reply);
    void Finish(const Record &answer);
    Record AnswerRecord(const QByteArray &answerStatus, const QByteArray &clearText) const;
    QByteArray FrameFor(Step step) const;
    char CommandOf(Step step) const;

    Record m_request;
    const LinkSettings &m_settings;
    const kx::ProgramFolder &m_folder;
    QDateTime m_now;
    Answer m_answer;
    QDeadlineTimer m_deadline;
    Step m_step = Step::CheckIn;
    TDateTime m_start = 0, m_end = 0;
    bool m_hasEnd = false;
    Station *m_station = nullptr;
    std::function<void()> m_finished;
    bool m_answered = false;
};

} // namespace fias
