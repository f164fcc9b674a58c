#pragma once

#include "numbers/objects.h"

#include <QList>
#include <QString>
#include <optional>

namespace orvel {

struct JobItem {
    int object = 0;
    quint8 value = 0;  // what to write; when reading, what is expected (readExpecting)
};

// What a DeviceClient is to do: objects to read (with the values expected, or without), or
// (object, value) pairs to write, each written object read back. Only valid jobs can be made: a write never names a cell that
// is not an object, a read never a cell the device does not have.
class Job {
public:
    enum class Kind { Read, Write };

    static std::optional<Job> read(const QList<int> &objects, QString *error = nullptr);
    static std::optional<Job> write(const QList<JobItem> &items, QString *error = nullptr);
    // A read where each object has a value expected (a table's): a value that differs from
    // it counts only once two reads in a row agree on it. An equal one counts at once.
    static std::optional<Job> readExpecting(const QList<JobItem> &items,
                                            QString *error = nullptr);

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
