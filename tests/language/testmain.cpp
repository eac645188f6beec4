#include <gtest/gtest.h>

#ifdef KANDRILOX_GUI_TEST
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

// Qt's plugins (the SQLite driver) and windows want an application object.
int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
