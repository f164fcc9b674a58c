#include "app/dialogfont.h"
#include "app/frmterminal.h"
#include "serial/qserialbackend.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvel programator"));
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvel.programator"));
    orvel::applyDialogFont();

    orvel::FrmTerminal window(std::make_unique<orvel::QSerialBackend>());
    window.show();
    return app.exec();
}
