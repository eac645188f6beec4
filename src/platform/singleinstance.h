#pragma once

#include <QString>

namespace kx {

// Refuses a second copy: an flock()ed lock file named after the title. The
// kernel releases it when the process ends, however it ends.
class SingleInstance
{
public:
    // lockDir empty: $XDG_RUNTIME_DIR, else /tmp.
    SingleInstance(const QString &title, const QString &lockDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False when another process already holds the lock.
    bool Acquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace kx
