#pragma once

#include <QDateTime>

namespace orvel {

// The local time now, for a line per value. Asking the time zone costs a look at
// /etc/localtime each time (glibc), more than the rest of the line; its offset changes only
// on a whole minute (summer time), so it is asked once a minute and the time made with it.
class LocalClock {
public:
    QDateTime now() {
        const qint64 ms = QDateTime::currentMSecsSinceEpoch();
        const qint64 minute = ms / 60'000 - (ms % 60'000 < 0);
        if (minute != m_minute) {
            m_minute = minute;
            m_offsetSeconds = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
        }
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, m_offsetSeconds);
    }

private:
    qint64 m_minute = -1;
    int m_offsetSeconds = 0;
};

}  // namespace orvel
