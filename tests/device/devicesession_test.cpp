#include "device/devicesession.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>

namespace orvel {
namespace {

// Batches fed as they arrive (a byte with more behind it in its batch is no cue to answer),
// answers sent after the signals of what they answer, in order; time-outs from the timer.
TEST(DeviceSessionTest, RunsAJobOnTheEventLoop) {
    int argc = 1;
    char *argv[] = {const_cast<char *>("device_tests")};
    QCoreApplication app(argc, argv);
    QStringList seen;  // the signals, and our answers in hex
    QEventLoop loop;
    DeviceSession session([&](char byte) { seen << QByteArray(1, byte).toHex(); });
    QObject::connect(&session, &DeviceSession::progress, &loop, [&](int done, int, int o) {
        seen << QStringLiteral("%1: %2").arg(done).arg(o);
    });
    QObject::connect(&session, &DeviceSession::valueArrived, &loop, [&](int o, quint8 value) {
        seen << QStringLiteral("%1 = %2").arg(o).arg(value);
    });
    QObject::connect(&session, &DeviceSession::deviceNotAnswering, &loop,
                     [&] { seen << "silent"; });
    QObject::connect(&session, &DeviceSession::finished, &loop, [&](const JobSummary &s) {
        seen << QStringLiteral("%1 failed").arg(s.failed.size());
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(session.start(*Job::read({5, 6}), {std::chrono::milliseconds(20), 2}));
    EXPECT_FALSE(session.start(*Job::read({1})));
    for (const char *batch : {"\xAC\xAC\xAC\xAC", "\xCA", "\xCA", "\x07\xAC\xAC", "\xCA\xAC\xAC"})
        session.feed(batch);
    loop.exec();  // then nothing: tried again, and the device is not answering
    EXPECT_EQ(seen, QStringList({"55", "00", "05", "55", "5 = 7", "1: 5", "55", "silent", "2: 6",
                                 "1 failed"}));
    EXPECT_FALSE(session.running());
}

}  // namespace
}  // namespace orvel
