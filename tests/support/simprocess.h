#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>

namespace orvel::test {

// The device simulator as a child process on its own pseudo-terminal.
class SimProcess {
public:
    static constexpr int kCells = 8192;

    SimProcess();
    ~SimProcess();

    // Starts it with its memory taken from `memory` (saved to a file first).
    bool start(const QByteArray &memory, const QStringList &extraArguments = {});
    // SIGTERM, wait, and read back the saved memory and the summary.
    bool stop();

    const QString &path() const { return m_path; }
    const QByteArray &savedMemory() const { return m_savedMemory; }
    const QString &summary() const { return m_summary; }
    QString memoryFile() const { return m_dir.filePath(QStringLiteral("memory.bin")); }
    qint64 pid() const { return m_process.processId(); }

    // A memory image with every value 0..255 somewhere in the objects, 172 and 202 too.
    static QByteArray patternMemory(int seed);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_path;
    QByteArray m_savedMemory;
    QString m_summary;
};

}  // namespace orvel::test
