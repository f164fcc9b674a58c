#include "table/profileplan.h"

namespace orvel::plan {

std::vector<OutOfRange> outOfRange(const Table &table, const Profile &profile) {
    std::vector<OutOfRange> refused;
    for (const auto &[object, value] : table.objects)
        if (!profile.isProtected(object) && !profile.allows(object, value))
            refused.push_back({object, value});
    return refused;
}

QStringList outOfRangeLines(const std::vector<OutOfRange> &refused, const Profile &profile,
                            int count) {
    QStringList lines;
    for (const OutOfRange &r : refused) {
        if (lines.size() == count) break;
        const QString name = profile.objectName(r.object);
        const QString values = profile.valuesText(r.object);
        lines.append(QStringLiteral("object %1%2: %3 is not %4 %5")
                         .arg(r.object)
                         .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name))
                         .arg(r.value)
                         .arg(values.contains(u'=') ? QStringLiteral("one of")
                                                    : QStringLiteral("within"),
                              values));
    }
    return lines;
}

RestoreSplit splitForRestore(const std::vector<Difference> &differing, const Profile &profile) {
    RestoreSplit split;
    for (const Difference &d : differing)
        (profile.isProtected(d.object) ? split.kept : split.toWrite).push_back(d);
    return split;
}

QStringList namedColumns(const Difference &difference, const Profile &profile) {
    return {profile.objectName(difference.object),
            profile.meaning(difference.object, difference.device),
            profile.meaning(difference.object, difference.file)};
}

QString profileMismatch(const Table &table, const Profile &profile) {
    if (table.profileName.isEmpty()) return {};
    if (table.profileName == profile.name() && table.profileVersion == profile.version())
        return {};
    const QString saved = QStringLiteral("The table was saved under the profile %1, version %2")
                              .arg(table.profileName, table.profileVersion);
    if (profile.name().isEmpty()) return saved + QStringLiteral("; no profile is in use.");
    if (table.profileName == profile.name())
        return saved + QStringLiteral("; version %1 of it is in use.").arg(profile.version());
    return saved + QStringLiteral("; the profile in use is %1, version %2.")
                       .arg(profile.name(), profile.version());
}

}  // namespace orvel::plan
