#include "device/job.h"

namespace orvel {

std::optional<Job> Job::read(const QList<int> &objects, QString *error) {
    QList<JobItem> items;
    items.reserve(objects.size());
    for (int object : objects) {
        if (!readable(object)) {
            if (error)
                *error = QStringLiteral("Object %1 is not a cell of the device (0 to %2).")
                             .arg(object)
                             .arg(objects::kLastSetting);
            return std::nullopt;
        }
        items.append({object, 0});
    }
    return Job(Kind::Read, std::move(items));
}

std::optional<Job> Job::readExpecting(const QList<JobItem> &items, QString *error) {
    QList<int> objects;
    for (const JobItem &item : items) objects.append(item.object);
    if (!read(objects, error)) return std::nullopt;
    return Job(Kind::Read, items, true);
}

std::optional<Job> Job::write(const QList<JobItem> &items, QString *error) {
    for (const JobItem &item : items) {
        if (!writable(item.object)) {
            if (error)
                *error = QStringLiteral("Object %1 cannot be written: only objects %2 to %3 can.")
                             .arg(item.object)
                             .arg(objects::kFirst)
                             .arg(objects::kLast);
            return std::nullopt;
        }
    }
    return Job(Kind::Write, items);
}

}  // namespace orvel
