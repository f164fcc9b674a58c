// The bare responder's steps on Qt's event loop and QSerialPort, with no window: how much
// of the program's time is the event loop and the port class rather than the program.
//
//   bench_qt_responder PATH read FIRST LAST
//   bench_qt_responder PATH write FIRST LAST VALUE
//
// Same output as bench_bare_responder.
#include "devicesim/devicemodel.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long long cpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1'000'000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5 || (std::strcmp(argv[2], "read") && std::strcmp(argv[2], "write")) ||
        (!std::strcmp(argv[2], "write") && argc < 6)) {
        std::fprintf(stderr, "usage: %s PATH read FIRST LAST | PATH write FIRST LAST VALUE\n",
                     argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const bool writing = !std::strcmp(argv[2], "write");
    const int first = std::atoi(argv[3]);
    const int last = std::atoi(argv[4]);
    const char value = writing && std::atoi(argv[5]) ? 1 : 0;

    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud1200);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "%s\n", qPrintable(port.errorString()));
        return 1;
    }
    const orvel::devicesim::Memory expected = orvel::devicesim::seededMemory(1);
    long long clickNs = 0, firstCommandNs = 0, cpuAtClick = 0;
    bool linked = false;
    int phase = writing ? 2 : 1, readStep = 0, writeStep = 0, object = first, wrong = 0;
    auto put = [&](char byte) {
        if (!firstCommandNs) firstCommandNs = nowNs();
        port.write(&byte, 1);
        port.flush();
    };
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        const QByteArray bytes = port.readAll();
        qsizetype i = 0;
        if (!linked) {  // the link check, then the rest of that burst is taken while idle
            if (quint8(bytes.at(0)) != 172) QCoreApplication::exit(1);
            linked = true;
            clickNs = nowNs();
            cpuAtClick = cpuUs();
            return;
        }
        for (; i < bytes.size() && phase != 0; ++i) {
            const quint8 b = quint8(bytes.at(i));
            const bool ready = b == 172, ack = b == 202;
            if (phase == 2) {
                if (ready && writeStep == 0) writeStep = 1;
                else if (ready && writeStep == 1) put(char(0xAA)), writeStep = 2;
                else if (ack && writeStep == 2) put(char(object >> 8)), writeStep = 3;
                else if (ack && writeStep == 3) put(char(object & 0xFF)), writeStep = 4;
                else if (ack && writeStep == 4) put(value), writeStep = 5;
                else if (ack && writeStep == 5) writeStep = 0, phase = 1;
                continue;
            }
            if (readStep == 4) {
                if (b != (writing ? quint8(value) : expected[size_t(object)])) ++wrong;
                readStep = 0;
                if (object == last) phase = 0;
                else ++object, phase = writing ? 2 : 1;
            } else if (ready && readStep == 0) readStep = 1;
            else if (ready && readStep == 1) put(0x55), readStep = 2;
            else if (ack && readStep == 2) put(char(object >> 8)), readStep = 3;
            else if (ack && readStep == 3) put(char(object & 0xFF)), readStep = 4;
        }
        if (phase == 0) QCoreApplication::quit();
    });
    QTimer::singleShot(600'000, [] { QCoreApplication::exit(1); });
    if (app.exec() != 0) return 1;
    const long long endNs = nowNs();
    std::printf("objects=%d\nclick_to_idle_us=%lld\ntransfer_us=%lld\nwrong_values=%d\n"
                "cpu_us=%lld\n",
                last - first + 1, (endNs - clickNs) / 1000, (endNs - firstCommandNs) / 1000,
                wrong, cpuUs() - cpuAtClick);
    return wrong == 0 ? 0 : 3;
}
