#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "cli/profilechoice.h"
#include "table/restoreplan.h"

namespace orvel::cli {

int runWrite(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("write"),
                     QStringLiteral("orvel write --port P (--objects RANGES | --list FILE) "
                                    "--value 0|1 [options]"),
                     QStringLiteral("Writes 0 or 1 into objects; each written object is read "
                                    "back, and written again when it holds another value."),
                     summary);
    line.addDeviceOptions();
    line.addObjectOptions();
    line.parser().addOption({"value", "The value to write: 0 or 1.", "0|1"});
    addProfileOption(line, QStringLiteral("Checks the writes against the profile FILE: objects "
                                          "it marks read-only or keep, and values it does not "
                                          "allow, are refused before anything is sent."));
    line.parser().addOption({"force", "With --profile: writes what the profile refuses."});
    if (const auto parsed = line.parse(arguments, 0); !parsed)
        return line.halt(parsed.failure());
    const auto objects = line.objects(objects::kFirst, objects::kLast);
    if (!objects) return line.halt(objects.failure());
    const QString value = line.value("value");
    if (value != u"0" && value != u"1")
        return line.usageError(value.isEmpty() ? QStringLiteral("--value is missing")
                                               : QStringLiteral("--value must be 0 or 1"));
    const auto profile = chosenProfile(line);
    if (!profile) return line.halt(profile.failure());
    const QStringList refused = writeRefusals(*objects, quint8(value.toInt()), *profile);
    if (!refused.isEmpty() && !line.isSet("force"))
        return line.usageError(QStringLiteral("the profile %1 refuses these writes; nothing is "
                                              "sent (--force writes them):\n%2")
                                   .arg(profile->name(), refused.join(u'\n')));

    summary.objects = int(objects->size());
    Operation operation(QStringLiteral("write"), line);
    if (!refused.isEmpty())
        operation.say(QStringLiteral("--force: writing what the profile %1 refuses:\n%2")
                          .arg(profile->name(), refused.join(u'\n')));
    if (const auto opened = operation.open(); !opened) return line.halt(opened.failure());
    QList<JobItem> items;
    for (const int object : *objects) items.append({object, quint8(value.toInt())});
    const RunResult result = operation.run(*Job::write(items), QStringLiteral("Writing"),
                                           {QStringLiteral("read-back"), QStringLiteral("write")});

    const Ending ending = operation.ended(result);
    return operation.end(ending, QStringLiteral("Wrote %1 into %2 on %3 in %4 s: %5.")
                                     .arg(value)
                                     .arg(plan::objectsText(int(objects->size())))
                                     .arg(operation.port().label)
                                     .arg(ending.seconds, 0, 'f', 1)
                                     .arg(countsText(ending)));
}

}  // namespace orvel::cli
