#include "device/job.h"

namespace orvel {

Outcome<Job, JobFailure> Job::read(const QList<int> &objects) {
    QList<JobItem> items;
    items.reserve(objects.size());
    for (int object : objects) {
        if (!readable(object))
            return Failure<JobFailure>{JobFailure::NotACell, QString::number(object)};
        items.append({object, 0});
    }
    return Job(Kind::Read, std::move(items));
}

Outcome<Job, JobFailure> Job::readExpecting(const QList<JobItem> &items) {
    QList<int> objects;
    for (const JobItem &item : items) objects.append(item.object);
    if (auto failed = read(objects); !failed) return failed.failure();
    return Job(Kind::Read, items, true);
}

Outcome<Job, JobFailure> Job::write(const QList<JobItem> &items) {
    for (const JobItem &item : items)
        if (!writable(item.object))
            return Failure<JobFailure>{JobFailure::NotWritable, QString::number(item.object)};
    return Job(Kind::Write, items);
}

}  // namespace orvel
