#include <gtest/gtest.h>

#ifdef KANDRILOX_GUI_TEST
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

// Qt's plugins (the SQLite driver) and windows want an application object.
// Windows are tested without a display, also when the test list is read.
int main(int argc, char **argv)
{
#ifdef KANDRILOX_GUI_TEST
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
