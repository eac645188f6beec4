#include "keytask.h"

#include "answers.h"
#include "frames.h"

#include "server/codec.h"

#include <QDate>
#include <QTime>

namespace fias {

namespace {

// FIAS dates are YYMMDD of this century.
std::optional<QDate> ParseDate(const QByteArray &text)
{
    if (text.size() != 6)
        return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    const QDate date(2000 + text.left(2).toInt(), text.mid(2, 2).toInt(), text.mid(4, 2).toInt());
    return date.isValid() ? std::optional(date) : std::nullopt;
}

// DT is "HH:MM"; some PMSs send "HHMM" or add seconds.
std::optional<QTime> ParseTime(const QByteArray &text)
{
    for (const char *format : {"HH:mm", "HHmm", "HH:mm:ss", "HHmmss"}) {
        const QTime time = QTime::fromString(QString::fromLatin1(text), QLatin1StringView(format));
        if (time.isValid())
            return time;
    }
    return std::nullopt;
}

TDateTime ToDateTime(const QDateTime &value)
{
    return kx::FromQDateTime(value);
}

} // namespace

KeyTask::KeyTask(Record request, const LinkSettings &settings, const kx::ProgramFolder &folder, QDateTime now,
                 Answer answer)
    : m_request(std::move(request)), m_settings(settings), m_folder(folder), m_now(std::move(now)),
      m_answer(std::move(answer)), m_deadline(settings.answerTimeoutMs)
{
}

void KeyTask::Run(Station &station, std::function<void()> finished)
{
    m_station = &station;
    m_finished = std::move(finished);
    if (Plan())
        Send(m_step);
}

bool KeyTask::Plan()
{
    const QByteArray &id = m_request.id();
    if (id == ids::KeyDelete) {
        m_step = Step::CheckOut;
        return true;
    }
    if (id == ids::KeyRead) {
        m_step = Step::Read;
        return true;
    }
    const QByteArray type = m_request.Value("KT");
    if (type != "N" && type != "D" && type != "O") {
        Refuse(status::Unprocessable, texts::KeyType);
        return false;
    }

    // The departure: GD at DT, or at the configured departure time.
    std::optional<QDateTime> departure;
    if (m_request.Has("GD")) {
        const std::optional<QDate> date = ParseDate(m_request.Value("GD"));
        const std::optional<QTime> time = m_request.Value("DT").isEmpty()
                                              ? std::optional(m_settings.departureTime)
                                              : ParseTime(m_request.Value("DT"));
        if (!date || !time) {
            Refuse(status::Unprocessable, texts::NoDeparture);
            return false;
        }
        departure = QDateTime(*date, *time);
    }

    m_start = ToDateTime(m_now);
    if (type == "N") {
        if (!departure) {
            Refuse(status::Unprocessable, texts::NoDeparture);
            return false;
        }
        // A stay that begins on a later day opens the door from that day on.
        if (const std::optional<QDate> arrival = ParseDate(m_request.Value("GA"));
            arrival && *arrival > m_now.date())
            m_start = ToDateTime(QDateTime(*arrival, QTime(0, 0)));
        m_end = ToDateTime(*departure);
        m_hasEnd = true;
        m_step = Step::CheckIn;
    } else if (type == "D") {
        m_hasEnd = departure.has_value();
        if (departure)
            m_end = ToDateTime(*departure);
        m_step = Step::Duplicate;
    } else {
        if (m_settings.oneShotMinutes > 0)
            m_end = ToDateTime(m_now.addSecs(qint64(m_settings.oneShotMinutes) * 60));
        else if (departure)
            m_end = ToDateTime(*departure);
        else
            m_end = ToDateTime(m_now.addSecs(qint64(LinkSettings::OneShotFallbackMinutes) * 60));
        m_hasEnd = true;
        m_step = Step::OneShot;
    }
    if (m_hasEnd && m_end <= m_start) {
        Refuse(status::Unprocessable, texts::PastDeparture);
        return false;
    }
    return true;
}

char KeyTask::CommandOf(Step step) const
{
    switch (step) {
    case Step::CheckIn:
    case Step::CheckInAgain: return kx::CheckInCommand;
    case Step::CheckOutFirst:
    case Step::CheckOut: return kx::CheckOutCommand;
    case Step::Duplicate: return kx::DuplicateKeyCommand;
    case Step::OneShot: return kx::OneShotKeyCommand;
    case Step::Read: return kx::ReadCardCommand;
    }
    return 0;
}

QByteArray KeyTask::FrameFor(Step step) const
{
    const QByteArray room = m_request.Value("RN");
    const std::optional<QByteArray> holder = m_request.Has("GN") && !m_request.Value("GN").isEmpty()
                                                 ? std::optional(m_request.Value("GN"))
                                                 : std::nullopt;
    switch (step) {
    case Step::CheckIn:
    case Step::CheckInAgain: {
        TCardInterface stay;
        stay.Room = room;
        stay.GuestName = m_request.Value("GN");
        stay.GuestInTime = m_start;
        stay.GuestLeaveTime = m_end;
        return frontdesk::CheckInFrame(stay);
    }
    case Step::CheckOutFirst:
    case Step::CheckOut: return frontdesk::CheckOutFrame(room);
    case Step::Duplicate:
        return frontdesk::DuplicateKeyFrame(room, holder, m_hasEnd ? std::optional(m_end) : std::nullopt);
    case Step::OneShot: return frontdesk::OneShotKeyFrame(room, m_start, m_end, holder);
    case Step::Read: return frontdesk::CommandFrame(kx::ReadCardCommand);
    }
    return QByteArray();
}

void KeyTask::Send(Step step)
{
    m_step = step;
    const int left = static_cast<int>(m_deadline.remainingTime());
    if (left <= 0) {
        Refuse(status::Unprocessable, texts::NoAnswer);
        return;
    }
    m_station->Exchange(FrameFor(step), left, [this](const StationReply &reply) { OnReply(reply); });
}

void KeyTask::OnReply(const StationReply &reply)
{
    switch (reply.status) {
    case StationReply::Unreachable: return Refuse(status::Retry, texts::Unreachable);
    case StationReply::NoAnswer: return Refuse(status::Unprocessable, texts::NoAnswer);
    case StationReply::Garbled: return Refuse(status::Unprocessable, texts::Garbled);
    case StationReply::Answered: break;
    }
    const char command = CommandOf(m_step);
    if (frontdesk::ClassifyReply(reply.bytes) == frontdesk::ReplyState::Card) {
        if (m_step == Step::Read)
            return AnswerCard(reply.bytes);
        return Refuse(status::Unprocessable, texts::Garbled);
    }
    const int code = frontdesk::ResultCode(reply.bytes);
    // A new key cancels the room's keys: an occupied room is checked out
    // (which revokes its cards and erases the card on the coder), then in.
    constexpr int RoomOccupied = 17;
    if (m_step == Step::CheckIn && code == RoomOccupied)
        return Send(Step::CheckOutFirst);
    if (m_step == Step::CheckOutFirst && code == 0)
        return Send(Step::CheckInAgain);
    AnswerResult(code, command);
}

Record KeyTask::AnswerRecord(const QByteArray &answerStatus, const QByteArray &clearText) const
{
    const bool read = m_request.id() == ids::KeyRead;
    Record answer(read ? ids::KeyRead : ids::KeyAnswer);
    answer.Add("AS", answerStatus);
    answer.Add("CT", clearText.left(MaxClearText));
    // Several workstations may share a coder: both go back, and G# with them.
    for (const char *field : {"KC", "WS", "G#"})
        if (m_request.Has(field))
            answer.Add(field, m_request.Value(field));
    return answer;
}

void KeyTask::AnswerResult(int code, char command)
{
    Finish(AnswerRecord(AnswerStatus(code, command), ResultClearText(m_folder, code, command)));
}

void KeyTask::AnswerCard(const QByteArray &reply)
{
    TCardInterface card;
    if (!frontdesk::ParseCardReply(reply, card))
        return Refuse(status::Unprocessable, texts::Garbled);
    // A card without a room (a blank one) reads back as room " ".
    if (card.Room.trimmed().isEmpty())
        return Refuse(status::NotFound, texts::BlankCard);
    Record answer = AnswerRecord(status::Ok, ResultClearText(m_folder, 0, kx::ReadCardCommand));
    const QDateTime end = kx::ToQDateTime(card.GuestLeaveTime);
    answer.Add("RN", card.Room);
    answer.Add("GN", card.GuestName);
    answer.Add("GD", end.toString(QStringLiteral("yyMMdd")).toLatin1());
    answer.Add("DT", end.toString(QStringLiteral("HH:mm")).toLatin1());
    Finish(answer);
}

void KeyTask::Refuse(const QByteArray &answerStatus, const QString &text)
{
    Finish(AnswerRecord(answerStatus, ClearText(text)));
}

void KeyTask::Finish(const Record &answer)
{
    if (m_answered)
        return;
    m_answered = true;
    Record stamped = answer;
    const QDateTime now = QDateTime::currentDateTime();
    stamped.Add("DA", now.toString(QStringLiteral("yyMMdd")).toLatin1());
    stamped.Add("TI", now.toString(QStringLiteral("HHmmss")).toLatin1());
    m_answer(stamped);
    if (m_finished)
        std::exchange(m_finished, nullptr)();
}

} // namespace fias
