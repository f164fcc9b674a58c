#include "profile/profile.h"

#include <QSet>

#include "numbers/objects.h"

namespace orvel {

QString ProfileRow::objectName(int object) const {
    if (!counted) return prefix;
    return prefix + QString::number(start + (object - first)) + suffix;
}

QString valuesText(const ProfileValues &values) {
    if (values.meanings.empty()) return QStringLiteral("%1-%2").arg(values.low).arg(values.high);
    QString text;
    for (const auto &[value, meaning] : values.meanings) {
        if (!text.isEmpty()) text += u';';
        text += QString::number(value) + u'=' + meaning;
    }
    return text;
}

Profile::Profile(QString name, QString version, std::vector<ProfileRow> rows, QByteArray sha256)
    : m_name(std::move(name)),
      m_version(std::move(version)),
      m_sha256(std::move(sha256)),
      m_rows(std::move(rows)),
      m_rowOf(objects::kLast + 1) {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        for (int object = m_rows[i].first; object <= m_rows[i].last; ++object)
            if (objects::isObject(object)) m_rowOf[object] = std::uint16_t(i + 1);
}

const ProfileRow *Profile::row(int object) const {
    if (!objects::isObject(object) || m_rowOf.empty() || !m_rowOf[object]) return nullptr;
    return &m_rows[m_rowOf[object] - 1];
}

QString Profile::objectName(int object) const {
    const ProfileRow *found = row(object);
    return found ? found->objectName(object) : QString();
}

QString Profile::group(int object) const {
    const ProfileRow *found = row(object);
    return found ? found->group : QString();
}

Access Profile::access(int object) const {
    const ProfileRow *found = row(object);
    return found ? found->access : Access::ReadWrite;
}

bool Profile::allows(int object, int value) const {
    const ProfileRow *found = row(object);
    static const ProfileValues kAnyValue;
    const ProfileValues &values = found ? found->values : kAnyValue;
    if (value < values.low || value > values.high) return false;
    return values.meanings.empty() || values.meanings.count(value);
}

QString Profile::meaning(int object, int value) const {
    const ProfileRow *found = row(object);
    if (!found) return {};
    const auto it = found->values.meanings.find(value);
    return it == found->values.meanings.end() ? QString() : it->second;
}

QString Profile::valuesText(int object) const {
    const ProfileRow *found = row(object);
    return orvel::valuesText(found ? found->values : ProfileValues{});
}

QStringList Profile::groups() const {
    QStringList groups;
    QSet<QString> seen;
    for (const ProfileRow &row : m_rows) {
        if (row.group.isEmpty() || seen.contains(row.group)) continue;
        seen.insert(row.group);
        groups.append(row.group);
    }
    return groups;
}

Profile::Counts Profile::counts() const {
    Counts counts;
    for (const ProfileRow &row : m_rows) {
        const int objects = row.last - row.first + 1;
        counts.named += objects;
        if (row.access == Access::ReadOnly) counts.readOnly += objects;
        if (row.access == Access::Keep) counts.kept += objects;
    }
    counts.unnamed = objects::kLast - counts.named;
    return counts;
}

}  // namespace orvel
