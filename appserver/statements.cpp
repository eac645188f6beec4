#include "statements.h"

#include "platform/errors.h"

#include <QList>
#include <QRegularExpression>

namespace lockserver {
namespace {

struct Shape
{
    StatementId id;
    QString pattern; // {room}, {datetime} and {rom} stand for the values
};

const QList<Shape> &Shapes()
{
    static const QList<Shape> shapes{
        {StatementId::RoomExists, QStringLiteral("select top 1 room from roominfo Where (Room ={room})")},
        {StatementId::RoomOccupied,
         QStringLiteral("select top 1 room from GuestInRecord Where (enOverride=0) And(Room ={room})")},
        {StatementId::FirstCardRecord, QStringLiteral("select top 1 * from MakeCardRecord")},
        {StatementId::FirstGuestRecord, QStringLiteral("select top 1 * from GuestInRecord")},
        {StatementId::CloseStays,
         QStringLiteral("Update GuestInRecord Set enOverride=1,LeaveTime='{datetime}' "
                        "Where (Room ={room})and(enOverride=0)")},
        {StatementId::RevokeCards,
         QStringLiteral("update MakeCardRecord set cardstatus=1,explain= "
                        "'Revoke time:{datetime}' Where (Room ={room})and(cardstatus=0)")},
        {StatementId::ValidCardsOfRom,
         QStringLiteral("Select * From MakeCardRecord Where (cardstatus=0) And (Rom='{rom}')")},
        {StatementId::OpenStay,
         QStringLiteral("select top 1 * from GuestInRecord Where (enOverride=0) And(Room ={room})")},
    };
    return shapes;
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Turns a statement pattern into an anchored expression: spaces between two
// words may be any run of whitespace, spaces elsewhere may be left out, text
// inside quotes must match exactly, and each value becomes a capture.
QString ToExpression(const QString &pattern, QStringList &valueNames)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{(\\w+)\\}"));
    QString expr = QStringLiteral("^\\s*");
    bool lastWasWord = false;
    bool first = true;
    int i = 0;
    auto separator = [&](bool isWord) {
        if (!first)
            expr += (isWord && lastWasWord) ? QStringLiteral("\\s+") : QStringLiteral("\\s*");
        first = false;
        lastWasWord = isWord;
    };
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'\'') {
            const int end = pattern.indexOf(u'\'', i + 1);
            const QString inner = pattern.mid(i + 1, end - i - 1);
            separator(false);
            QString quoted = QStringLiteral("'");
            int pos = 0;
            for (auto it = placeholder.globalMatch(inner); it.hasNext();) {
                const auto m = it.next();
                const QString literal = inner.mid(pos, m.capturedStart() - pos);
                if (!literal.isEmpty())
                    quoted += QStringLiteral("(?-i:%1)").arg(QRegularExpression::escape(literal));
                quoted += QStringLiteral("([^']*)");
                valueNames << m.captured(1);
                pos = m.capturedEnd();
            }
            quoted += QRegularExpression::escape(inner.mid(pos)) + QStringLiteral("'");
            expr += quoted;
            i = end + 1;
        } else if (c == u'{') {
            const int end = pattern.indexOf(u'}', i);
            separator(true);
            expr += QStringLiteral("([^)';]*?)");
            valueNames << pattern.mid(i + 1, end - i - 1);
            i = end + 1;
        } else if (IsWordChar(c)) {
            int end = i;
            while (end < pattern.size() && IsWordChar(pattern[end]))
                ++end;
            separator(true);
            expr += QRegularExpression::escape(pattern.mid(i, end - i));
            i = end;
        } else {
            separator(false);
            expr += QRegularExpression::escape(QString(c));
            ++i;
        }
    }
    expr += QStringLiteral("\\s*;?\\s*$");
    return expr;
}

struct CompiledShape
{
    StatementId id;
    QRegularExpression expr;
    QStringList valueNames;
};

const QList<CompiledShape> &CompiledShapes()
{
    static const QList<CompiledShape> compiled = [] {
        QList<CompiledShape> list;
        for (const Shape &shape : Shapes()) {
            QStringList names;
            const QString expr = ToExpression(shape.pattern, names);
            list.append(
                {shape.id, QRegularExpression(expr, QRegularExpression::CaseInsensitiveOption), names});
        }
        return list;
    }();
    return compiled;
}

// A ';' outside quotes with more text after it starts a second statement.
bool HasSecondStatement(const QString &sql)
{
    bool quoted = false;
    for (int i = 0; i < sql.size(); ++i) {
        if (sql[i] == u'\'')
            quoted = !quoted;
        else if (sql[i] == u';' && !quoted && !sql.mid(i + 1).trimmed().isEmpty())
            return true;
    }
    return false;
}

qint64 CheckRoom(const QString &value)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(value).hasMatch())
        throw kx::Error(QStringLiteral("Room number '%1' is not a whole number").arg(value));
    const qint64 room = value.toLongLong();
    if (room > std::numeric_limits<qint32>::max())
        throw kx::Error(QStringLiteral("Room number '%1' is out of range").arg(value));
    return room;
}

QString CheckDateTime(const QString &value)
{
    if (!IsDateTimeText(value))
        throw kx::Error(QStringLiteral("'%1' is not a date-time of the form yyyy-mm-dd hh:nn:ss").arg(value));
    return value;
}

QString CheckRom(const QString &value)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,32}$"));
    if (!hex.match(value).hasMatch())
        throw kx::Error(QStringLiteral("'%1' is not a card serial in hexadecimal digits").arg(value));
    return value;
}

} // namespace

bool ReturnsRows(StatementId id)
{
    return id != StatementId::CloseStays && id != StatementId::RevokeCards;
}

const TableDef &TableRead(StatementId id)
{
    switch (id) {
    case StatementId::RoomExists: return RoomInfoTable();
    case StatementId::RoomOccupied:
    case StatementId::OpenStay:
    case StatementId::FirstGuestRecord:
    case StatementId::CloseStays: return GuestInRecordTable();
    case StatementId::FirstCardRecord:
    case StatementId::RevokeCards:
    case StatementId::ValidCardsOfRom: return MakeCardRecordTable();
    }
    return RoomInfoTable();
}

std::optional<Statement> Recognize(const QString &sql)
{
    if (HasSecondStatement(sql))
        throw kx::Error(QStringLiteral("Only one statement per request is accepted"));
    for (const CompiledShape &shape : CompiledShapes()) {
        const QRegularExpressionMatch m = shape.expr.match(sql);
        if (!m.hasMatch())
            continue;
        Statement statement{shape.id, 0, QString()};
        for (int i = 0; i < shape.valueNames.size(); ++i) {
            const QString value = m.captured(i + 1).trimmed();
            const QString &name = shape.valueNames[i];
            if (name == u"room")
                statement.room = CheckRoom(value);
            else if (name == u"datetime")
                statement.text = CheckDateTime(value);
            else
                statement.text = CheckRom(value);
        }
        return statement;
    }
    return std::nullopt;
}

} // namespace lockserver
