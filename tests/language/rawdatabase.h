#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <stdexcept>

// A second, plain connection to a language database file, to look at and
// prepare rows behind the component's back.
class RawDatabase
{
public:
    explicit RawDatabase(const QString &path)
    {
        static int counter = 0;
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw-%1").arg(++counter));
        m_db.setDatabaseName(path);
        if (!m_db.open())
            throw std::runtime_error(m_db.lastError().text().toStdString());
    }

    ~RawDatabase()
    {
        const QString name = m_db.connectionName();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }

    void exec(const QString &sql, const QVariantList &values = {}) { run(sql, values); }

    // Every row of a query, each as its columns' values.
    QList<QVariantList> rows(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q = run(sql, values);
        QList<QVariantList> all;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i));
            all.append(row);
        }
        return all;
    }

    void addDialogRow(const QString &form, int language, const QString &messages,
                      const QString &app = QStringLiteral("Kandrilox"))
    {
        exec(QStringLiteral(
                 "insert into Dialog_Table (AppName, FormName, DialogID, LanguageID, Title, MessageStr) "
                 "values (?, ?, 0, ?, '', ?)"),
             {app, form, language, messages});
    }

    void addComponentRow(const QString &form, int language, const QString &component, const QString &text,
                         const QString &app = QStringLiteral("Kandrilox"))
    {
        exec(QStringLiteral("insert into Component_Table (AppName, FormName, ComponentName, LanguageID, "
                            "ComponentProperty) values (?, ?, ?, ?, ?)"),
             {app, form, component, language, text});
    }

private:
    QSqlQuery run(const QString &sql, const QVariantList &values)
    {
        QSqlQuery q(m_db);
        if (!q.prepare(sql))
            throw std::runtime_error(q.lastError().text().toStdString());
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            throw std::runtime_error(q.lastError().text().toStdString());
        return q;
    }

    QSqlDatabase m_db;
};
