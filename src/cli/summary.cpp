#include "cli/summary.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace orvel::cli {

QByteArray Summary::json() const {
    QJsonObject object{
        {"operation", operation}, {"port", port},
        {"objects", objects},     {"differed", differed},
        {"written", written},     {"verified", verified},
        {"failed", failed},       {"notTried", notTried},
        {"seconds", std::round(seconds * 1000) / 1000},
        {"status", status},
    };
    for (auto field = more.begin(); field != more.end(); ++field)
        object.insert(field.key(), field.value());
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace orvel::cli
