#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class TSocketConnection;

// A client dataset bound to one provider of the application server. Every
// operation that needs the server raises kx::StoreError on failure.
class TClientDataSet
{
public:
    TClientDataSet(TSocketConnection &connection, const QString &providerName);

    QString ProviderName() const { return m_provider; }

    void Close();
    bool Active() const { return m_active; }
    void SetCommandText(const QString &sql);
    QString CommandText() const { return m_commandText; }

    // Runs the command on the server and keeps the rows it gives.
    void Open();
    // Opens a query whose rows are not read, only appended to: the open goes
    // out with ApplyUpdates, in one write, when the server takes requests that
    // way, and its refusal is raised there. Until then its rows and column
    // names are not known: field names are taken as they are given.
    void OpenForAppend();
    int RecordCount() const;
    bool IsEmpty() const;
    // The value of a column of the first row, as text. Raises kx::StoreError
    // for a null value or a column the result does not have.
    QString FieldAsString(const QString &name) const;

    // Runs the command without rows; gives the rows affected.
    int Execute();
    // Runs the command without rows, whose count is not needed: it goes out
    // with this dataset's next request, in one write, and its refusal is
    // raised by that request (which then does not run).
    void ExecuteLater();

    // Appends a row to the open result and sets its fields; ApplyUpdates sends
    // the appended rows to the provider's table and gives the error count.
    void Append();
    // QDateTime values travel as date-times, ints as integers, strings as text.
    void SetField(const QString &name, const QVariant &value);
    int ApplyUpdates(int maxErrors);
    // The server's reason for each row the last ApplyUpdates could not store.
    QStringList LastApplyErrors() const { return m_lastApplyErrors; }

private:
    void RequireActive() const;
    // Refuses reading the rows of an open whose answer has not come.
    void RequireRows() const;
    // The posted open's answer among a call's answers, expected of them.
    QJsonObject OpenAnswer(const QList<QJsonObject> &answers, qsizetype expected) const;
    // Takes the columns and rows of an open's answer.
    void TakeOpenAnswer(const QJsonObject &reply);
    // Index of the column in any letter case; raises for a column the result lacks.
    int ColumnIndex(const QString &name) const;

    TSocketConnection &m_connection;
    QString m_provider;
    QString m_commandText;
    bool m_active = false;
    bool m_openPending = false; // OpenForAppend's answer has not come yet
    QStringList m_columns;
    QList<QVariantList> m_rows;
    QList<QList<QPair<QString, QVariant>>> m_appended;
    QStringList m_lastApplyErrors;
};
