#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QFileInfo>
#include <QTemporaryDir>

// A temporary program folder for one test, removed afterwards.
class TempFolder
{
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Writes text into name (folders created as needed) and returns the full path.
    QString write(const QString &name, const QByteArray &text) const
    {
        const QString full = file(name);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
        return full;
    }

    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private:
    QTemporaryDir m_dir;
};
