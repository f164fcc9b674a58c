#include <QApplication>
#include "app/dialogfont.h"

#include <gtest/gtest.h>

// Widget tests need an application object; the platform comes from the environment
// (offscreen unless a test run asks for a real display).
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    orvel::applyDialogFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
