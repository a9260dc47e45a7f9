// The window tests need an application object; listing them needs none, so test
// discovery works without a display.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char *argv[])
{
    // The window takes SSLKEYLOGFILE for a default key log; a developer's own
    // would change what the tests see. Tests that want one set it themselves.
    unsetenv("SSLKEYLOGFILE");
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
