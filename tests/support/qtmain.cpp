#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include "app/dialogfont.h"

#include <gtest/gtest.h>

// Offscreen unless a test run asks for a real display. The window keeps a journal in the
// user's state folder and remembers choices in its configuration: tests keep theirs in a folder of their own, removed at the end.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(state.filePath("config")));
    QApplication app(argc, argv);
    orvel::applyDialogFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
