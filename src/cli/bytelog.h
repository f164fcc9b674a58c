#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include "files/regularfile.h"

namespace orvel::cli {

// --log FILE: every byte on the line, one line each, appended, in UTC:
//   2026-12-07T05:12:00.123Z in 172
//   2026-12-07T05:12:00.125Z out 85

class ByteLog {
public:
    // A new file is made 0600; only a regular file of the user's with one name is appended
    // to (openPrivateFile): a link, a FIFO or a device is refused and never opened.
    Done<FileFailure> open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    void received(QByteArrayView bytes) { add("in", bytes); }
    void sent(char byte) { add("out", QByteArrayView(&byte, 1)); }

private:
    void add(const char *direction, QByteArrayView bytes);

    QFile m_file;
};

}  // namespace orvel::cli
