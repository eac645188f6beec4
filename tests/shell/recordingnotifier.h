#pragma once

#include "platform/notifier.h"

#include <QList>
#include <QString>

// Keeps everything the code under test tells the user, instead of showing it.
class RecordingNotifier : public kx::Notifier
{
public:
    struct Box
    {
        QString text;
        QString caption;
        Icon icon;
    };

    void ReportError(const QString &text) override { errors.append(text); }
    void MessageBox(const QString &text, const QString &caption, Icon icon) override
    {
        boxes.append({text, caption, icon});
    }
    void Beep() override { ++beeps; }
    void LogLine(const QString &text) override { lines.append(text); }

    QStringList errors;
    QList<Box> boxes;
    int beeps = 0;
    QStringList lines;
};
