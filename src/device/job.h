#pragma once

#include "numbers/objects.h"
#include "outcome/outcome.h"

#include <QList>

namespace orvel {

struct JobItem {
    int object = 0;
    quint8 value = 0;  // what to write; when reading, what is expected (readExpecting)
};

// Why a job could not be made; the words are the object named.
enum class JobFailure {
    NotACell,     // to read: not a cell of the device (0 to 8191)
    NotWritable,  // to write: not an object (1 to 8175)
};

// What a DeviceClient is to do: objects to read (with the values expected, or without), or
// (object, value) pairs to write, each written object read back. Only valid jobs can be made: a write never names a cell that
// is not an object, a read never a cell the device does not have.
class Job {
public:
    enum class Kind { Read, Write };

    static Outcome<Job, JobFailure> read(const QList<int> &objects);
    static Outcome<Job, JobFailure> write(const QList<JobItem> &items);
    // A read where each object has a value expected (a table's): a value that differs from
    // it counts only once two reads in a row agree on it. An equal one counts at once.
    static Outcome<Job, JobFailure> readExpecting(const QList<JobItem> &items);

    static bool readable(int object) { return objects::isCell(object); }
    static bool writable(int object) { return objects::isObject(object); }

    Kind kind() const { return m_kind; }
    bool expecting() const { return m_expecting; }
    const QList<JobItem> &items() const { return m_items; }
    qsizetype size() const { return m_items.size(); }

private:
    Job(Kind kind, QList<JobItem> items, bool expecting = false)
        : m_kind(kind), m_items(std::move(items)), m_expecting(expecting) {}

    Kind m_kind;
    QList<JobItem> m_items;
    bool m_expecting = false;
};

}  // namespace orvel
