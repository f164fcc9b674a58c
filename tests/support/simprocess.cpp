#include "support/simprocess.h"

#include <QFile>

#include <csignal>

namespace orvel::test {

SimProcess::SimProcess() = default;

SimProcess::~SimProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool SimProcess::start(const QByteArray &memory, const QStringList &extraArguments) {
    QFile file(memoryFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(memory) != memory.size()) return false;
    file.close();
    m_process.setProgram(QStringLiteral(ORVEL_DEVICE_SIM));
    m_process.setArguments(QStringList{QStringLiteral("--memory"), memoryFile()} +
                           extraArguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(5000)) return false;
    }
    m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return !m_path.isEmpty();
}

bool SimProcess::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(5000)) return false;
    }
    m_summary = QString::fromLocal8Bit(m_process.readAllStandardError());
    QFile file(memoryFile());
    if (!file.open(QIODevice::ReadOnly)) return false;
    m_savedMemory = file.readAll();
    return m_savedMemory.size() == kCells;
}

QByteArray SimProcess::patternMemory(int seed) {
    QByteArray memory(kCells, '\0');
    for (int i = 0; i < kCells; ++i) memory[i] = char((i * 37 + seed * 11) % 256);
    return memory;
}

}  // namespace orvel::test
