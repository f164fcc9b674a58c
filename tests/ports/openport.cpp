// Opens COM 1 with the program's backend and prints what the operator would be told.
#include "serial/qserialbackend.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    orvel::QSerialBackend backend;
    QString error;
    const bool opened = backend.open(1, &error);
    std::fputs(error.toLocal8Bit().constData(), stdout);
    return opened ? 0 : 1;
}
