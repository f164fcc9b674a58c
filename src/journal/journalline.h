#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <chrono>
#include <string>

// One journal line, "time,port,operation,object,value\n", formatted into a buffer the
// caller reuses: per line no allocation once the port and operation stop changing.
namespace orvel {

struct JournalTime {
    qint64 msecsSinceEpoch;
    int offsetSeconds;  // east of UTC, as the time was given

    std::chrono::sys_days day() const;  // the calendar day at that offset
};

class JournalLine {
public:
    static constexpr char kColumns[] = "time,port,operation,object,value\n";

    // Replaces `out` with the line; the time reads like 2026-12-07T06:12:00.123+01:00.
    void format(std::string &out, JournalTime time, QStringView port, QStringView operation,
                int object, int value);

private:
    // A text and its CSV field, kept while the text stays the same.
    struct Field {
        QString text;
        std::string csv;
        const std::string &of(QStringView value);
    };

    Field m_port;
    Field m_operation;
};

}  // namespace orvel
