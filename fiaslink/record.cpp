#include "record.h"

namespace fias {

namespace {

constexpr int IdLength = 2;

// Data bytes are 0x20-0x7E and 0x80-0xFF; control bytes never occur inside a record.
bool IsDataByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b != 0x7F;
}

bool IsIdByte(char c)
{
    return IsDataByte(c) && c != ' ' && c != FieldEnd;
}

bool IsId(const QByteArray &id)
{
    return id.size() == IdLength && IsIdByte(id[0]) && IsIdByte(id[1]);
}

} // namespace

bool Record::Has(const char *fieldId) const
{
    for (const Field &f : m_fields)
        if (f.id == fieldId)
            return true;
    return false;
}

QByteArray Record::Value(const char *fieldId) const
{
    for (const Field &f : m_fields)
        if (f.id == fieldId)
            return f.value;
    return QByteArray();
}

Record &Record::Add(const char *fieldId, const QByteArray &value)
{
    m_fields.append(Field{QByteArray(fieldId), value});
    return *this;
}

QByteArray Record::Text() const
{
    QByteArray text = m_id + FieldEnd;
    for (const Field &f : m_fields)
        text += f.id + f.value + FieldEnd;
    return text;
}

QByteArray Record::Framed() const
{
    return STX + Text() + ETX;
}

std::optional<Record> Record::Parse(const QByteArray &text, QByteArray &error)
{
    for (const char c : text) {
        if (!IsDataByte(c)) {
            error = "control byte inside the record";
            return std::nullopt;
        }
    }
    const QByteArray id = text.left(IdLength);
    if (!IsId(id) || (text.size() > IdLength && text[IdLength] != FieldEnd)) {
        error = "no record id";
        return std::nullopt;
    }
    Record record(id);
    qsizetype p = IdLength + 1;
    while (p < text.size()) {
        qsizetype end = text.indexOf(FieldEnd, p);
        if (end < 0)
            end = text.size();
        const QByteArray field = text.mid(p, end - p);
        if (!IsId(field.left(IdLength))) {
            error = "field without a field id";
            return std::nullopt;
        }
        record.m_fields.append(Field{field.left(IdLength), field.mid(IdLength)});
        p = end + 1;
    }
    return record;
}

} // namespace fias
