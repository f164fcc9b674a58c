#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "serial/systemportenumerator.h"

namespace orvel::cli {
namespace {

QString sourceName(PortAssignments::Source source) {
    switch (source) {
        case PortAssignments::Source::Environment:
            return QStringLiteral("environment");
        case PortAssignments::Source::Assignment:
            return QStringLiteral("assignment");
        case PortAssignments::Source::Default:
            break;
    }
    return QStringLiteral("default");
}

QByteArray json(const QList<PortInfo> &present, const PortAssignments &assignments) {
    QJsonArray ports;
    for (const PortInfo &port : present) {
        const QList<int> comNumbers = comsOf(port, assignments);
        QJsonArray all;  // "com" is the first of them, 0 for none
        for (const int n : comNumbers) all.append(n);
        ports.append(QJsonObject{{"device", port.devicePath},
                                 {"byId", port.byIdPath},
                                 {"description", port.description},
                                 {"manufacturer", port.manufacturer},
                                 {"serialNumber", port.serialNumber},
                                 {"usb", port.vidPid()},
                                 {"com", comNumbers.value(0)},
                                 {"coms", all}});
    }
    QJsonArray coms;
    for (int n = PortAssignments::kFirstPort; n <= PortAssignments::kLastPort; ++n) {
        const PortAssignments::Resolution resolved = assignments.resolve(n);
        coms.append(QJsonObject{{"com", n},
                                {"device", resolved.path},
                                {"source", sourceName(resolved.source)},
                                {"present", findPort(present, resolved.path) != nullptr}});
    }
    return QJsonDocument(QJsonObject{{"ports", ports}, {"com", coms}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

}  // namespace

int runPorts(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("ports"), QStringLiteral("orvel ports [--json]"),
                     QStringLiteral("Lists the serial ports present (device, name under "
                                    "/dev/serial/by-id, description, maker, serial number, USB "
                                    "vendor:product) and the device each of the window's COM 1 "
                                    "to COM 4 stands for (ORVEL_COM<n> wins over the window's "
                                    "choice)."),
                     summary);
    line.parser().addOption({"json", "Prints the lists as one JSON object."});
    if (const auto parsed = line.parse(arguments, 0); !parsed)
        return line.halt(parsed.failure());
    const PortAssignments assignments;
    const QList<PortInfo> present = withAssignedPorts(SystemPortEnumerator().ports(), assignments);
    const QByteArray out = line.isSet("json") ? json(present, assignments)
                                              : portsListing(present, assignments).toLocal8Bit();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    summary.wanted = false;  // the lists are what --json asked for
    return kDone;
}

}  // namespace orvel::cli
