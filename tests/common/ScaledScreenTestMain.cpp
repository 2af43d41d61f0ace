// Entry point of the test executables whose screens are scaled by
// VAROR_SCREEN_SCALE: 2 gives every screen a device pixel ratio of 2, as on
// a high-density monitor; 0.5 makes the offscreen screen of 800 x 600
// pixels a wide one of 1600 x 1200 logical pixels, where windows have room
// to grow.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", VAROR_SCREEN_SCALE);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
