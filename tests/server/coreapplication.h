#pragma once

#include <QCoreApplication>

// Sockets and timers need an application object; the first test suite that
// asks makes one, and it lives for the whole test program.
inline void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "test_server";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}
