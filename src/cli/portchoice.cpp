#include "cli/portchoice.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "ports/portassignments.h"

namespace orvel::cli {
namespace {

const QString kByIdFolder = QStringLiteral("/dev/serial/by-id/");

QString device(const QString &path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

}  // namespace

std::optional<int> comNumber(const QString &text) {
    static const QRegularExpression com(QStringLiteral("^COM ?([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(text.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

std::optional<PortChoice> choosePort(const QString &text, QString *error) {
    const PortAssignments assignments;
    if (const std::optional<int> number = comNumber(text)) {
        const QString path = assignments.devicePath(*number);
        return PortChoice{*number, path, QStringLiteral("COM %1 (%2)").arg(*number).arg(path),
                          false};
    }
    QString path = text;
    if (!path.contains(u'/') && QFileInfo::exists(kByIdFolder + path)) path = kByIdFolder + path;
    if (!path.contains(u'/')) {
        *error = QStringLiteral(
                     "'%1' is no port: give COM1 to COM4, a device such as "
                     "/dev/ttyUSB0, or a name under %2 (orvel ports lists them)")
                     .arg(text, kByIdFolder);
        return std::nullopt;
    }
    for (int number = PortAssignments::kFirstPort; number <= PortAssignments::kLastPort; ++number)
        if (device(assignments.devicePath(number)) == device(path))
            return PortChoice{number, assignments.devicePath(number), path, true};
    qputenv(PortAssignments::environmentVariable(1).toLatin1().constData(), path.toLocal8Bit());
    return PortChoice{1, path, path, true};
}

}  // namespace orvel::cli
