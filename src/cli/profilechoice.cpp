#include "cli/profilechoice.h"

#include <QJsonArray>

#include "cli/commandline.h"
#include "cli/operation.h"
#include "profile/profilefile.h"
#include "table/profileplan.h"

namespace orvel::cli {
namespace {

constexpr int kRefusalsNamed = 10;

// One CSV field: quoted whole, its quotes doubled, when it holds a comma, a quote or a line
// break (a name may hold the first two).
QByteArray csvField(const QString &text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    return '"' + bytes.replace('"', "\"\"") + '"';
}

QString accessText(Access access) {
    return access == Access::Keep ? QStringLiteral("keep") : QStringLiteral("read-only");
}

}  // namespace

void addProfileOption(CommandLine &line, const QString &description) {
    line.parser().addOption({"profile", description, "FILE"});
}

Outcome<Profile, Halt> chosenProfile(const CommandLine &line) {
    if (!line.isSet("profile")) return Profile();
    auto profile = usableProfile(line.value("profile"));
    if (!profile)
        return Failure<Halt>{Halt::FileUnfit, QStringLiteral("--profile: ") + profile.words()};
    return std::move(*profile);
}

QByteArray namedDifferencesText(const std::vector<Difference> &list, const Profile &profile,
                                bool restoreColumn) {
    QByteArray text("object,device,table,name,device means,table means");
    text += restoreColumn ? ",restore\n" : "\n";
    for (const Difference &d : list) {
        text += QByteArray::number(d.object) + ',' + QByteArray::number(d.device) + ',' +
                QByteArray::number(d.file);
        for (const QString &column : plan::namedColumns(d, profile)) text += ',' + csvField(column);
        if (restoreColumn) text += profile.isProtected(d.object) ? ",kept" : ",write";
        text += '\n';
    }
    return text;
}

QJsonObject namedSummary(const std::vector<Difference> &list, const Profile &profile,
                         bool restoreColumn) {
    QJsonArray rows;
    for (const Difference &d : list) {
        const QStringList named = plan::namedColumns(d, profile);
        QJsonObject row{{"object", d.object},   {"device", d.device},
                        {"table", d.file},      {"name", named.at(0)},
                        {"deviceMeans", named.at(1)}, {"tableMeans", named.at(2)}};
        if (restoreColumn) row.insert("kept", profile.isProtected(d.object));
        rows.append(row);
    }
    const QJsonObject used{{"name", profile.name()},
                           {"version", profile.version()},
                           {"sha256", QString::fromLatin1(profile.sha256())}};
    return {{"profile", used}, {"differences", rows}};
}

void sayMismatch(const Operation &operation, const Table &table, const Profile &profile) {
    if (const QString mismatch = plan::profileMismatch(table, profile); !mismatch.isEmpty())
        operation.say(mismatch);
}

QStringList writeRefusals(const QList<int> &objects, quint8 value, const Profile &profile) {
    QStringList lines;
    Table written;
    for (const int object : objects) {
        written.objects[object] = value;
        if (profile.isProtected(object))
            lines.append(QStringLiteral("object %1 (%2): the profile marks it %3")
                             .arg(object)
                             .arg(profile.objectName(object), accessText(profile.access(object))));
    }
    const std::vector<plan::OutOfRange> refused = plan::outOfRange(written, profile);
    lines += plan::outOfRangeLines(refused, profile, int(refused.size()));
    if (lines.size() > kRefusalsNamed) {
        const qsizetype more = lines.size() - kRefusalsNamed;
        lines.resize(kRefusalsNamed);
        lines.append(QStringLiteral("and %1 more").arg(more));
    }
    return lines;
}

}  // namespace orvel::cli
