#include <QCoreApplication>
#include <gtest/gtest.h>

// The HTTP endpoint and the test's own HTTP client want a Qt application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
