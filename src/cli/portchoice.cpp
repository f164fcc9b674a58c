#include "cli/portchoice.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "ports/portassignments.h"
#include "ports/portwords.h"

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
    QString why = openFailureWords(failure, port.target.path);
    if (failure.why == PortFailure::PermissionDenied)
        why += QStringLiteral("; your user must be in the group that owns it (usually dialout)");
    return QStringLiteral("%1 cannot be opened: %2. 'orvel ports' lists the ports present.")
        .arg(port.label, why);
}

}  // namespace orvel::cli
