#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs with a QApplication on the offscreen platform, so
// widgets, timers, queued connections and child processes behave as in the
// program.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
