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

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

// One piece of a statement pattern.
struct Piece
{
    enum Kind { Word, Mark, Quoted, Value } kind;
    QString text;      // the word, the mark, or the quoted text before its value
    QString valueName; // {room}, {datetime} or {rom}; for Quoted, empty when it has none
    QString after;     // for Quoted: the quoted text after its value
};

// Cuts a pattern into words, single marks, quoted texts and values.
QList<Piece> ToPieces(const QString &pattern)
{
    QList<Piece> pieces;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == u'\'') {
            const qsizetype end = pattern.indexOf(u'\'', i + 1);
            const QString inner = pattern.mid(i + 1, end - i - 1);
            const qsizetype open = inner.indexOf(u'{');
            if (open < 0) {
                pieces.append({Piece::Quoted, inner, QString(), QString()});
            } else {
                const qsizetype close = inner.indexOf(u'}', open);
                pieces.append({Piece::Quoted, inner.left(open), inner.mid(open + 1, close - open - 1),
                               inner.mid(close + 1)});
            }
            i = end + 1;
        } else if (c == u'{') {
            const qsizetype end = pattern.indexOf(u'}', i);
            pieces.append({Piece::Value, QString(), pattern.mid(i + 1, end - i - 1), QString()});
            i = end + 1;
        } else if (IsWordChar(c)) {
            qsizetype end = i;
            while (end < pattern.size() && IsWordChar(pattern[end]))
                ++end;
            pieces.append({Piece::Word, pattern.mid(i, end - i), QString(), QString()});
            i = end;
        } else {
            pieces.append({Piece::Mark, QString(c), QString(), QString()});
            ++i;
        }
    }
    return pieces;
}

struct CompiledShape
{
    StatementId id;
    QList<Piece> pieces;
};

const QList<CompiledShape> &CompiledShapes()
{
    static const QList<CompiledShape> compiled = [] {
        QList<CompiledShape> list;
        for (const Shape &shape : Shapes())
            list.append({shape.id, ToPieces(shape.pattern)});
        return list;
    }();
    return compiled;
}

struct Captured
{
    QString name;
    QString value;
};

// Matches sql against a shape in one pass: words in any letter case with any
// blanks between them (and at least one between two words), marks with or
// without blanks around them, quoted text exactly, a value outside quotes up
// to the next ')', quote or ';'. At the end an optional ';' and blanks.
bool MatchShape(const QList<Piece> &pieces, const QString &sql, QList<Captured> &values)
{
    const qsizetype n = sql.size();
    qsizetype pos = 0;
    const auto skipBlanks = [&] {
        while (pos < n && IsBlank(sql[pos]))
            ++pos;
    };
    for (const Piece &piece : pieces) {
        skipBlanks();
        switch (piece.kind) {
        case Piece::Word: {
            qsizetype end = pos;
            while (end < n && IsWordChar(sql[end]))
                ++end;
            if (QStringView(sql).mid(pos, end - pos).compare(piece.text, Qt::CaseInsensitive) != 0)
                return false;
            pos = end;
            break;
        }
        case Piece::Mark:
            if (pos >= n || sql[pos] != piece.text[0])
                return false;
            ++pos;
            break;
        case Piece::Quoted: {
            if (pos >= n || sql[pos] != u'\'')
                return false;
            const qsizetype end = sql.indexOf(u'\'', pos + 1);
            if (end < 0)
                return false;
            const QStringView inner = QStringView(sql).mid(pos + 1, end - pos - 1);
            if (piece.valueName.isEmpty()) {
                if (inner != piece.text)
                    return false;
            } else {
                if (!inner.startsWith(piece.text) || !inner.endsWith(piece.after) ||
                    inner.size() < piece.text.size() + piece.after.size())
                    return false;
                values.append(
                    {piece.valueName,
                     inner.mid(piece.text.size(), inner.size() - piece.text.size() - piece.after.size())
                         .trimmed()
                         .toString()});
            }
            pos = end + 1;
            break;
        }
        case Piece::Value: {
            qsizetype end = pos;
            while (end < n && sql[end] != u')' && sql[end] != u'\'' && sql[end] != u';')
                ++end;
            values.append({piece.valueName, QStringView(sql).mid(pos, end - pos).trimmed().toString()});
            pos = end;
            break;
        }
        }
    }
    skipBlanks();
    if (pos < n && sql[pos] == u';')
        ++pos;
    skipBlanks();
    return pos == n;
}

// A ';' outside quotes with more text after it starts a second statement.
bool HasSecondStatement(const QString &sql)
{
    qsizetype last = sql.size() - 1; // the last character that is not blank
    while (last >= 0 && sql[last].isSpace())
        --last;
    bool quoted = false;
    for (qsizetype i = 0; i < last; ++i) {
        if (sql[i] == u'\'')
            quoted = !quoted;
        else if (sql[i] == u';' && !quoted)
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
    if (sql.size() > MaxStatementLength)
        throw kx::Error(QStringLiteral("Statement of %1 characters exceeds the limit of %2 characters")
                            .arg(sql.size())
                            .arg(MaxStatementLength));
    if (HasSecondStatement(sql))
        throw kx::Error(QStringLiteral("Only one statement per request is accepted"));
    for (const CompiledShape &shape : CompiledShapes()) {
        QList<Captured> values;
        if (!MatchShape(shape.pieces, sql, values))
            continue;
        Statement statement{shape.id, 0, QString()};
        for (const Captured &value : values) {
            if (value.name == u"room")
                statement.room = CheckRoom(value.value);
            else if (value.name == u"datetime")
                statement.text = CheckDateTime(value.value);
            else
                statement.text = CheckRom(value.value);
        }
        return statement;
    }
    return std::nullopt;
}

} // namespace lockserver
