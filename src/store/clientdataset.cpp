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
    m_openPending = false;
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

void TClientDataSet::RequireRows() const
{
    RequireActive();
    if (m_openPending)
        throw kx::StoreError(
            QStringLiteral("%1: the rows of a query opened for appending are not read").arg(m_provider));
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
    TakeOpenAnswer(
        m_connection.CallAll(CommandRequest(QStringLiteral("open"), m_provider, m_commandText), this).last());
}

void TClientDataSet::OpenForAppend()
{
    if (m_active)
        return;
    m_connection.Post(CommandRequest(QStringLiteral("open"), m_provider, m_commandText), this);
    m_columns.clear();
    m_rows.clear();
    m_appended.clear();
    m_active = true;
    m_openPending = true;
}

QJsonObject TClientDataSet::OpenAnswer(const QList<QJsonObject> &answers, qsizetype expected) const
{
    // Fewer answers: the posted open was dropped by a request of another dataset.
    if (answers.size() < expected)
        throw kx::StoreError(QStringLiteral("%1: the open query was not sent").arg(m_provider));
    return answers.first();
}

void TClientDataSet::TakeOpenAnswer(const QJsonObject &reply)
{
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
    if (!m_openPending)
        m_appended.clear();
    m_openPending = false;
    m_active = true;
}

int TClientDataSet::RecordCount() const
{
    RequireRows();
    return int(m_rows.size() + m_appended.size());
}

bool TClientDataSet::IsEmpty() const
{
    return RecordCount() == 0;
}

QString TClientDataSet::FieldAsString(const QString &name) const
{
    RequireRows();
    const int column = ColumnIndex(name);
    // No row reads as a null value, like the field of an empty dataset.
    const QVariant value = m_rows.isEmpty() ? QVariant() : m_rows.first().value(column);
    if (value.isNull())
        throw kx::StoreError(NullConversionText);
    return ToText(QJsonValue::fromVariant(value));
}

int TClientDataSet::Execute()
{
    return m_connection.CallAll(CommandRequest(QStringLiteral("execute"), m_provider, m_commandText), this)
        .last()
        .value(QStringLiteral("rowsAffected"))
        .toInt();
}

void TClientDataSet::ExecuteLater()
{
    m_connection.Post(CommandRequest(QStringLiteral("execute"), m_provider, m_commandText), this);
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
    // Before an open's answer the name goes as given: the server matches it
    // in any letter case, and refuses the row for a column it lacks.
    const QString column = m_openPending ? name : m_columns[ColumnIndex(name)];
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
    if (m_appended.isEmpty()) {
        if (m_openPending) // the open still runs, as Open would have run it
            TakeOpenAnswer(OpenAnswer(m_connection.CallAll(std::nullopt, this), 1));
        return 0;
    }
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
    const QList<QJsonObject> answers = m_connection.CallAll(request, this);
    if (m_openPending)
        TakeOpenAnswer(OpenAnswer(answers, 2));
    const QJsonObject &reply = answers.last();

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
        for (const auto &[name, value] : m_appended[i]) {
            for (qsizetype column = 0; column < m_columns.size(); ++column) {
                if (m_columns[column].compare(name, Qt::CaseInsensitive) == 0)
                    stored[column] = value;
            }
        }
        m_rows.append(stored);
    }
    m_appended = pending;
    return errorCount;
}
