#include "table/differences.h"

namespace orvel {

std::vector<Difference> differences(const Table &table, const std::map<int, quint8> &device) {
    std::vector<Difference> list;
    for (const auto &[object, value] : table.objects) {
        const auto read = device.find(object);
        if (read != device.end() && read->second != value)
            list.push_back({object, read->second, value});
    }
    return list;
}

QByteArray differencesText(const std::vector<Difference> &list) {
    QByteArray text("object,device,table\n");
    for (const Difference &d : list)
        text += QByteArray::number(d.object) + ',' + QByteArray::number(d.device) + ',' +
                QByteArray::number(d.file) + '\n';
    return text;
}

}  // namespace orvel
