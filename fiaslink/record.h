#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// FIAS records: "RI|F1value|F2value|…|", a two-character record id, then
// fields, each a two-character field id directly followed by its value and
// ended by '|'. Values are bytes as they travel (no code-page conversion).
namespace fias {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char FieldEnd = '|';

struct Field
{
    QByteArray id;
    QByteArray value;
};

class Record
{
public:
    Record() = default;
    explicit Record(QByteArray id) : m_id(std::move(id)) {}

    const QByteArray &id() const { return m_id; }
    const QList<Field> &fields() const { return m_fields; }

    bool Has(const char *fieldId) const;
    // The first value of the field, empty when it is missing.
    QByteArray Value(const char *fieldId) const;
    // Appends the field; fields keep the order they were added in.
    Record &Add(const char *fieldId, const QByteArray &value);

    // The record without framing, as the logs and fias-pms show it.
    QByteArray Text() const;
    // STX, the record, ETX.
    QByteArray Framed() const;

    // Parses a record's text (without STX/ETX). Fields may come in any order
    // and a last field without its '|' is taken as it stands. Gives nothing,
    // with the reason in error, for a record that is no record: an id that is
    // not two characters, a field shorter than its id, a control byte.
    static std::optional<Record> Parse(const QByteArray &text, QByteArray &error);

private:
    QByteArray m_id;
    QList<Field> m_fields;
};

// Link and key record ids, and the field ids this link reads or writes.
namespace ids {
inline const QByteArray LinkStart = "LS";
inline const QByteArray LinkDescription = "LD";
inline const QByteArray LinkRecord = "LR";
inline const QByteArray LinkAlive = "LA";
inline const QByteArray LinkEnd = "LE";
inline const QByteArray KeyRequest = "KR";
inline const QByteArray KeyDelete = "KD";
inline const QByteArray KeyRead = "KZ";
inline const QByteArray KeyAnswer = "KA";
inline const QByteArray KeyChange = "KM";
} // namespace ids

} // namespace fias
