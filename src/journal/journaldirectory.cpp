#include "journal/journaldirectory.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

namespace orvel {

using namespace std::chrono;

constexpr mode_t kPrivateDirectory = 0700;

QString defaultJournalDirectory() {
    // Qt 6.4 has no state location; a relative XDG_STATE_HOME is to be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + "/.local/state";
    return state + "/orvel-programator/journal";
}

QString journalFileName(sys_days day) {
    const year_month_day date{day};
    char name[48];
    std::snprintf(name, sizeof name, "journal-%04d-%02u-%02u.csv", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()));
    return QString::fromLatin1(name);
}

QString makePrivateDirectory(const QString &path) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    qsizetype at = 0;
    while (at >= 0) {
        at = absolute.indexOf(u'/', at + 1);
        const QByteArray part = QFile::encodeName(at < 0 ? absolute : absolute.left(at));
        if (::mkdir(part.constData(), kPrivateDirectory) != 0 && errno != EEXIST) {
            const int error = errno;
            return QStringLiteral("%1: %2").arg(QFile::decodeName(part), qt_error_string(error));
        }
    }
    const QByteArray name = QFile::encodeName(absolute);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return QStringLiteral("%1: %2").arg(absolute, QStringLiteral("not a folder"));
    if ((info.st_mode & 077) != 0 && ::chmod(name.constData(), info.st_mode & 0700) != 0) {
        const int error = errno;
        return QStringLiteral("%1: %2").arg(absolute, qt_error_string(error));
    }
    return {};
}

QStringList pruneJournal(const QString &directory, const QString &keep, JournalLimits limits) {
    QDir dir(directory);
    const QFileInfoList files = dir.entryInfoList(
        {QStringLiteral("journal-\?\?\?\?-\?\?-\?\?.csv")}, QDir::Files | QDir::Hidden, QDir::Name);
    qint64 total = 0;
    for (const QFileInfo &file : files) total += file.size();
    QStringList removed;
    qsizetype left = files.size();
    for (const QFileInfo &file : files) {
        if (left <= limits.maxDayFiles && total <= limits.maxTotalBytes) break;
        if (file.fileName() == keep) continue;
        if (!dir.remove(file.fileName())) continue;
        removed.append(file.fileName());
        total -= file.size();
        --left;
    }
    return removed;
}

}  // namespace orvel
