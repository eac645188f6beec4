#include <QCoreApplication>
#include <gtest/gtest.h>

// Sockets and processes want a Qt application object for the whole run.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
