// kandrilox [--headless] [--home DIR] [--port N]

#include "headless.h"
#include "options.h"
#include "windowed.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || std::strcmp(argv[i], "--headless") == 0;

    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kandrilox"));

    QString error;
    const std::optional<kx::Options> options = kx::ParseOptions(QCoreApplication::arguments(), error);
    if (!options) {
        std::fprintf(stderr, "kandrilox: %s\nusage: kandrilox [--headless] [--home DIR] [--port N]\n",
                     qPrintable(error));
        return 2;
    }
    return options->headless ? kx::RunHeadless(*options) : kx::RunWithWindows(*options);
}
