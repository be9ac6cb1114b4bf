// The main() of every test program: GoogleTest inside a Qt application, so that tests can
// decode pictures, draw text and show real widgets. CTest sets QT_QPA_PLATFORM=offscreen;
// the same default here lets the test list be read at build time, with no screen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
