#include <QApplication>
#include <gtest/gtest.h>

// Windows need a QApplication for the whole test run. Without a platform
// named in the environment (as when CTest lists the tests) they are drawn
// off screen, so that no display is needed.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
