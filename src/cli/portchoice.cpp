#include "cli/portchoice.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "ports/portassignments.h"

namespace orvel::cli {
namespace {

const QString kByIdFolder = QStringLiteral("/dev/serial/by-id/");

}  // namespace

std::optional<int> comNumber(const QString &text) {
    static const QRegularExpression com(QStringLiteral("^COM ?([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(text.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

Outcome<PortChoice, PortChoiceFailure> choosePort(const QString &text) {
    if (const std::optional<int> number = comNumber(text)) {
        const QString path = PortAssignments().devicePath(*number);
        const QString name = QStringLiteral("COM %1").arg(*number);
        return PortChoice{{path, name}, QStringLiteral("%1 (%2)").arg(name, path)};
    }
    QString path = text;
    if (!path.contains(u'/') && QFileInfo::exists(kByIdFolder + path)) path = kByIdFolder + path;
    if (!path.contains(u'/')) return Failure<PortChoiceFailure>{PortChoiceFailure::NoPort, text};
    return PortChoice{{path, path}, path};
}

QString openFailureText(const Failure<PortFailure> &failure, const PortChoice &port) {
    const QString &path = port.target.path;
    QString why;
    switch (failure.why) {
        case PortFailure::Missing:
            why = QStringLiteral("there is no device %1").arg(path);
            break;
        case PortFailure::NotSerialPort:
            why = QStringLiteral("%1 is not a serial port").arg(path);
            break;
        case PortFailure::PermissionDenied:
            why = QStringLiteral("permission to use %1 is denied; your user must be in the group "
                                 "that owns it (usually dialout)")
                      .arg(path);
            break;
        case PortFailure::InUse:
            why = QStringLiteral("%1 is in use by another program").arg(path);
            break;
        default:
            why = failure.words;
            break;
    }
    return QStringLiteral("%1 cannot be opened: %2. 'orvel ports' lists the ports present.")
        .arg(port.label, why);
}

}  // namespace orvel::cli
