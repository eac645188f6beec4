#include <QApplication>
#include <gtest/gtest.h>

// Windows need a QApplication for the whole test run.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
