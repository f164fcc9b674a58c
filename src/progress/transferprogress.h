#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace orvel {

// How far a transfer has come and how long the rest will take, from the measured rate.
// The rate is smoothed over the last objects, so the time left does not jump about when
// one object is slow, yet follows a device that changes its pace.
class TransferProgress {
public:
    using Clock = std::chrono::steady_clock;

    void start(qint64 total, Clock::time_point now);
    void objectDone(Clock::time_point now);

    qint64 done() const { return m_done; }
    qint64 total() const { return m_total; }
    int percent() const;
    std::optional<std::chrono::milliseconds> timeLeft() const;
    std::chrono::milliseconds elapsed(Clock::time_point now) const;

private:
    qint64 m_total = 0;
    qint64 m_done = 0;
    Clock::time_point m_started;
    Clock::time_point m_last;
    double m_secondsPerObject = 0;  // smoothed
};

// "0:07", "12:34", "1:02:03".
QString durationText(std::chrono::milliseconds duration);
// A time to come in words: "less than a second", "about 1 second", "about 40 seconds",
// "about 2:05".
QString approximateText(std::chrono::milliseconds duration);

}  // namespace orvel
