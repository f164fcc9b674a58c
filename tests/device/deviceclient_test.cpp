#include "device/deviceclient.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

using Bytes = std::vector<quint8>;

Bytes bytes(const QString &text, int base) {
    Bytes out;
    bool ok = false;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts))
        if (const uint byte = word.toUInt(&ok, base); ok) out.push_back(quint8(byte));
    return out;
}

// Device bytes in decimal, R ready, A acknowledge, batch by batch (all but a batch's last
// byte have more waiting behind them); W a second passes, T the time-out comes, S Stop. Our
// answers in hex. The outcome: each object's value or F (failed), /n when it took n tries,
// ?n when n of its reads were in doubt; N not answering; "stopping" not ended after Stop;
// wn: n objects written (or that may have been).
TEST(DeviceClientTest, AnswersOnlyWhatTheDeviceStillWaitsFor) {
    const Job read = *Job::read({0x102}), two = *Job::read({1, 2});
    const Job write = *Job::write({{0xAA, 1}}), write3 = *Job::write({{3, 1}});
    const Job write50 = *Job::write({{50, 172}}), expect5 = *Job::readExpecting({{1, 5}});
    const Job expect56 = *Job::readExpecting({{1, 5}, {2, 6}});
    // clang-format off
    const struct {
        const char *name;
        const Job &job;
        const char *device, *sent, *outcome;
    } rows[] = {
        // 9 is noise; an acknowledgement unasked after a piled-up pair; a value on the last try.
        {"noise after a value, or an acknowledgement unasked after its pair: read again", read,
         "R,R,A,A,7,9,R,R,A,A,7,R R A,R,R,A,A,7,R,R,A,A,7,R,R",
         "55 01 02 55 01 02 55 01 02 55 01 02", "7/3?2"},
        // 9 is noise, 172 the value, then the pair piled up behind it: a third ready byte.
        {"noise before a value of 172: read again on the pair", read,
         "R,R,A,A,9,R R R,A,A,R,R,R,A,A,R,R,R", "55 01 02 55 01 02 55 01 02", "172/2?1"},
        {"the command on its way is turned to the object in doubt", two,
         "R,R,A,A,9,R,R,R,A,A,5,R,R,A,A,6,R,R,A,A,6,R,R",
         "55 00 01 55 00 01 55 00 02 55 00 02", "5/2?1 6"},
        {"in doubt at every try, the last without its pair at the time-out: failed", read,
         "R,R,A,A,1,2,R,R,A,A,1,2,R,R,A,A,7,T", "55 01 02 55 01 02 55 01 02", "F/3?3"},
        {"expected: an equal value counts at once", expect56,
         "R,R,A,A,5,R,R,A,A,6,R,R,A,A,6,R,R", "55 00 01 55 00 02 55 00 02", "5 6"},
        {"expected: a different one once two reads agree", expect5,
         "R,R,A,A,7,R,R,A,A,8,R,R,A,A,8,R,R,W", "55 00 01 55 00 01 55 00 01", "8/3"},
        {"expected: no two reads agreeing: failed", expect5,
         "R,R,A,A,7,R,R,A,A,8,R,R,A,A,7,R,R,W", "55 00 01 55 00 01 55 00 01", "F/3"},
        {"expected: a difference twice, then the last object read once more", expect56,
         "R,R,A,A,6,R,R,A,A,6,R,R,A,A,6,R,R,A,A,6,R,R", "55 00 01 55 00 01 55 00 02 55 00 02",
         "6/2 6"},
        {"a run ending mid-pair, then a lone ready byte after a gap: no command yet", read,
         "R R R,W,R", "", ""},
        {"an ack with more behind it is not answered", read, "R,R,A R R", "55 55", ""},
        {"a lost command goes again after two pairs", read, "R,R,R,R,R,R", "55 55", ""},
        {"the device gives up, a time-out keeps an answer owed, talk without progress fails",
         read, "R,R,A,R,R,T,A,W,9,T", "55 01 55 01", "F/3"},
        {"a command sent again keeps the first one's time-out", read,
         "R,R,W,R,R,R,R,W,A,A,7,R,R,A,A,7,R,R", "55 55 01 02 55 01 02", "7/2"},
        {"nothing at all: not answering", two, "T", "", "F F N"},
        {"Stop lets an answer still owed come: tried twice", read,
         "R,R,S,T,A,A,9,R,R,A,A,9,R,R", "55 01 02 55 01 02", "9/2"},
        {"Stop waits for the device's own command to end", two, "R,R,A,A,7,A,S", "55 00 01",
         "stopping"},
        {"write, then read back, Stop waiting for it", write,
         "R,R,A,A,A,A,S,R,R,A,A,1,R,R,A,A,1,R,R", "AA 00 AA 01 55 00 AA 55 00 AA", "1 w1"},
        {"the device gave up: the object starts again", write3, "R,R,A,A,R,R", "AA 00 03 AA", ""},
        {"the device gave up after our value, then fell silent: written, failed", write3,
         "R,R,A,A,A,R,R,T,T", "AA 00 03 01 AA", "F/3 N w1"},
        // Our low byte 0xAA may have reached the idle device as a write command: two pairs
        // before a command of ours, and its acknowledgement is not ours to answer.
        {"the device gave up before our low byte 0xAA", write,
         "R,R,A,A,R,R,A,R,R", "AA 00 AA AA", ""},
        // 173 is noise, 172 the read-back behind it, then the pair: read back again at once.
        {"noise before a read-back of 172: read back again on the pair", write50,
         "R R,A,A,A,A,R R,A,A,173 R R R,W,R R", "AA 00 32 AC 55 00 32 55", "w1"},
    };
    // clang-format on
    for (const auto &row : rows) {
        DeviceClient client(row.job, {}, Clock(0));
        Bytes sent;
        Clock now{0};
        for (const QString &step : QString::fromLatin1(row.device).split(u',')) {
            if (step == u"W") client.tick(now += std::chrono::seconds(1));
            if (step == u"T") client.tick(now = *client.nextDeadline());
            if (step == u"S") client.stop(now);
            const Bytes batch = bytes(QString(step).replace(u'R', "172").replace(u'A', "202"), 10);
            for (size_t i = 0; i < batch.size(); ++i)
                if (auto reply = client.receive(batch[i], i + 1 < batch.size(), now))
                    sent.push_back(*reply);
        }
        QStringList outcome;
        for (const ObjectResult &r : client.summary().values + client.summary().failed)
            outcome << (r.ok ? QString::number(*r.value) : "F") +
                           (r.tries > 1 ? "/" + QString::number(r.tries) : "") +
                           (r.doubts ? "?" + QString::number(r.doubts) : "");
        if (client.summary().deviceNotAnswering) outcome << "N";
        if (client.summary().written) outcome << "w" + QString::number(client.summary().written);
        if (QByteArray(row.device).contains('S') && !client.finished()) outcome << "stopping";
        EXPECT_EQ(sent, bytes(row.sent, 16)) << row.name;
        EXPECT_EQ(outcome.join(' ').toStdString(), row.outcome) << row.name;
    }
    EXPECT_FALSE(Job::write({{1, 0}, {8176, 1}}) || Job::write({{0, 1}}));
    EXPECT_FALSE(Job::read({8192}) || Job::read({-1}));
    EXPECT_TRUE(Job::write({{1, 0}, {8175, 1}}) && Job::read({0, 8191}));
}

}  // namespace
}  // namespace orvel
