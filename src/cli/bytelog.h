#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include "outcome/outcome.h"

namespace orvel::cli {

// --log FILE: every byte on the line, one line each, appended, in UTC:
//   2026-12-07T05:12:00.123Z in 172
//   2026-12-07T05:12:00.125Z out 85
// Why the log cannot be opened: a link (never followed), another user's file, or what the
// system said.
enum class LogFailure { Link, NotOwn, System };

class ByteLog {
public:
    // A new file is made 0600; a symbolic link is not followed, and a file of another user
    // is not appended to.
    Done<LogFailure> open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    void received(QByteArrayView bytes) { add("in", bytes); }
    void sent(char byte) { add("out", QByteArrayView(&byte, 1)); }

private:
    void add(const char *direction, QByteArrayView bytes);

    QFile m_file;
};

}  // namespace orvel::cli
