#include "clientdataset.h"

#include "platform/errors.h"
#include "socketconnection.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString NullConversionText =
    QStringLiteral("Could not convert variant of type (Null) into type (OleStr)");

QJsonObject Request(const QString &op, const QString &provider)
{
    return QJsonObject{{QStringLiteral("op"), op}, {QStringLiteral("provider"), provider}};
}

// The request that runs sql on the provider; raises when there is no statement.
QJsonObject CommandRequest(const QString &op, const QString &provider, const QString &sql)
{
    if (sql.trimmed().isEmpty())
        throw kx::StoreError(QStringLiteral("%1: No SQL statement available").arg(provider));
    QJsonObject request = Request(op, provider);
    request.insert(QStringLiteral("sql"), sql);
    return request;
}

// QDateTime as a local "yyyy-mm-dd hh:nn:ss" text, whole numbers as numbers,
// everything else as text; raises for a value that has no such form.
QJsonValue ToWire(const QString &name, const QVariant &value)
{
    if (value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::Bool: return value.toBool() ? 1 : 0;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return QJsonValue(value.toLongLong());
    case QMetaType::Double: return value.toDouble();
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar: return value.toString();
    default: break;
    }
    throw kx::StoreError(QStringLiteral("Field '%1' cannot take a value of type %2")
                             .arg(name, QString::fromLatin1(value.typeName())));
}

QString ToText(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        return d == double(qint64(d)) ? QString::number(qint64(d)) : QString::number(d, 'g', 15);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

} // namespace

TClientDataSet::TClientDataSet(TSocketConnection &connection, const QString &providerName)
    : m_connection(connection), m_provider(providerName)
{
}

void TClientDataSet::Close()
{
    m_active = false;
    m_columns.clear();
    m_rows.clear();
    m_appended.clear();
}

void TClientDataSet::SetCommandText(const QString &sql)
{
    m_commandText = sql;
}

void TClientDataSet::RequireActive() const
{
    if (!m_active)
        throw kx::StoreError(
            QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(m_provider));
}

int TClientDataSet::ColumnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw kx::StoreError(QStringLiteral("%1: Field '%2' not found").arg(m_provider, name));
}

void TClientDataSet::Open()
{
    if (m_active)
        return;
    const QJsonObject reply =
        m_connection.Call(CommandRequest(QStringLiteral("open"), m_provider, m_commandText));

    QStringList columns;
    for (const QJsonValue &c : reply.value(QStringLiteral("columns")).toArray())
        columns << c.toObject().value(QStringLiteral("name")).toString();
    QList<QVariantList> rows;
    for (const QJsonValue &r : reply.value(QStringLiteral("rows")).toArray()) {
        const QJsonArray cells = r.toArray();
        if (cells.size() != columns.size())
            throw kx::StoreError(
                QStringLiteral("%1: the records store sent a row that does not fit its columns")
                    .arg(m_provider));
        rows.append(cells.toVariantList());
    }
    m_columns = columns;
    m_rows = rows;
    m_appended.clear();
    m_active = true;
}

int TClientDataSet::RecordCount() const
{
    RequireActive();
    return int(m_rows.size() + m_appended.size());
}

bool TClientDataSet::IsEmpty() const
{
    return RecordCount() == 0;
}

QString TClientDataSet::FieldAsString(const QString &name) const
{
    RequireActive();
    const int column = ColumnIndex(name);
    // No row reads as a null value, like the field of an empty dataset.
    const QVariant value = m_rows.isEmpty() ? QVariant() : m_rows.first().value(column);
    if (value.isNull())
        throw kx::StoreError(NullConversionText);
    return ToText(QJsonValue::fromVariant(value));
}

int TClientDataSet::Execute()
{
    return m_connection.Call(CommandRequest(QStringLiteral("execute"), m_provider, m_commandText))
        .value(QStringLiteral("rowsAffected"))
        .toInt();
}

void TClientDataSet::Append()
{
    RequireActive();
    m_appended.append(QList<QPair<QString, QVariant>>());
}

void TClientDataSet::SetField(const QString &name, const QVariant &value)
{
    RequireActive();
    if (m_appended.isEmpty())
        throw kx::StoreError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(m_provider));
    const QString column = m_columns[ColumnIndex(name)];
    const QJsonValue wire = ToWire(column, value);
    QList<QPair<QString, QVariant>> &row = m_appended.last();
    for (auto &field : row) {
        if (field.first == column) {
            field.second = wire.toVariant();
            return;
        }
    }
    row.append({column, wire.toVariant()});
}

int TClientDataSet::ApplyUpdates(int maxErrors)
{
    RequireActive();
    if (m_appended.isEmpty())
        return 0;
    QJsonArray rows;
    for (const auto &row : m_appended) {
        QJsonArray fields;
        for (const auto &[name, value] : row)
            fields.append(QJsonArray{QJsonValue(name), QJsonValue::fromVariant(value)});
        rows.append(fields);
    }
    QJsonObject request = Request(QStringLiteral("apply"), m_provider);
    request.insert(QStringLiteral("maxErrors"), maxErrors);
    request.insert(QStringLiteral("rows"), rows);
    const QJsonObject reply = m_connection.Call(request);

    const int errorCount = reply.value(QStringLiteral("errorCount")).toInt();
    m_lastApplyErrors.clear();
    QList<int> failed;
    for (const QJsonValue &f : reply.value(QStringLiteral("failed")).toArray()) {
        failed << f.toObject().value(QStringLiteral("row")).toInt();
        m_lastApplyErrors << f.toObject().value(QStringLiteral("error")).toString();
    }
    if (!reply.value(QStringLiteral("committed")).toBool())
        return errorCount; // nothing was stored: every appended row stays pending

    // Stored rows join the dataset's rows; rows the server refused stay pending.
    QList<QList<QPair<QString, QVariant>>> pending;
    for (int i = 0; i < m_appended.size(); ++i) {
        if (failed.contains(i)) {
            pending.append(m_appended[i]);
            continue;
        }
        QVariantList stored(m_columns.size());
        for (const auto &[name, value] : m_appended[i])
            stored[m_columns.indexOf(name)] = value;
        m_rows.append(stored);
    }
    m_appended = pending;
    return errorCount;
}
