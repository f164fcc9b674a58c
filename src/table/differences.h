#pragma once

#include <QByteArray>
#include <map>
#include <vector>

#include "table/table.h"

namespace orvel {

// One object whose value on the device is not the table's.
struct Difference {
    int object;
    quint8 device;
    quint8 file;
};

// The device against the table: the objects whose values differ, in object order; objects
// not read (stopped, failed) are left out.
std::vector<Difference> differences(const Table &table, const std::map<int, quint8> &device);
// The differences as a file: "object,device,table" and a line each.
QByteArray differencesText(const std::vector<Difference> &list);

}  // namespace orvel
