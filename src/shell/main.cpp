// kandrilox [--headless] [--home DIR] [--port N] [--metrics [ADDR:]PORT] | --help | --version

#include "headless.h"
#include "options.h"
#include "platform/programversion.h"
#include "windowed.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    switch (kx::FindInfoRequest(argc, argv)) {
    case kx::InfoRequest::Help: std::fputs(kx::UsageText, stdout); return 0;
    case kx::InfoRequest::Version: kx::PrintVersion("kandrilox"); return 0;
    case kx::InfoRequest::None: break;
    }

    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
    // Qt would abort with its own message on the first window.
    if (!headless && !kx::DisplayAvailable(argc, argv)) {
        std::fputs("kandrilox: no display to show windows on (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "kandrilox --headless runs the service without windows\n",
                   stderr);
        return 1;
    }

    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kandrilox"));

    QString error;
    const std::optional<kx::Options> options = kx::ParseOptions(QCoreApplication::arguments(), error);
    if (!options) {
        std::fprintf(stderr, "kandrilox: %s\n%s", qPrintable(error), kx::UsageText);
        return 2;
    }
    return options->headless ? kx::RunHeadless(*options) : kx::RunWithWindows(*options);
}
