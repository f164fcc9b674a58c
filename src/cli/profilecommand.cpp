#include <QDir>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "profile/profilefile.h"

namespace orvel::cli {
namespace {

constexpr const char *kProfileHelp =
    "Usage: orvel profile check FILE\n"
    "\n"
    "Profiles name the objects, their values and their access (docs/profile-format.md).\n"
    "\n"
    "Commands:\n"
    "  check     names each faulty line of a profile, or counts what it names\n";

void print(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

int runCheck(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("profile check"), QStringLiteral("orvel profile check FILE"),
                     QStringLiteral("Reads a profile and names each line with a fault; a "
                                    "profile with any is not used. Of a profile without faults "
                                    "it counts the objects named, unnamed, read-only and kept. "
                                    "Exits with 1 when a line has a fault."),
                     summary);
    line.parser().addPositionalArgument("FILE", "A profile file.");
    line.setMissingPositional(QStringLiteral("a profile file"));
    if (const auto parsed = line.parse(arguments, 1); !parsed)
        return line.halt(parsed.failure());
    const QString path = line.positionals().at(0);
    const QString shownPath = QDir::toNativeSeparators(path);
    const ProfileLoad loaded = loadProfile(path);
    if (!loaded)
        return line.usageError(
            QStringLiteral("%1 could not be read: %2").arg(shownPath, loaded.words()));

    if (!loaded->profile) {
        QString out;
        for (const Rejection &rejection : loaded->rejected) out += rejection.text + u'\n';
        const qsizetype unlisted = loaded->rejectedLines - qsizetype(loaded->rejected.size());
        if (unlisted > 0) out += QStringLiteral("and %1 more lines with faults\n").arg(unlisted);
        out +=
            QStringLiteral("%1: %2 %3 with faults: the profile is not used.\n")
                .arg(shownPath, QString::number(loaded->rejectedLines),
                     loaded->rejectedLines == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
        print(out);
        return kDiffer;
    }
    const Profile &profile = *loaded->profile;
    const Profile::Counts counts = profile.counts();
    print(QStringLiteral("%1: profile '%2', version %3, without faults.\n"
                         "Objects: %4 named, %5 unnamed; %6 read-only, %7 kept.\n"
                         "SHA-256: %8\n")
              .arg(shownPath, profile.name(), profile.version(), QString::number(counts.named),
                   QString::number(counts.unnamed), QString::number(counts.readOnly),
                   QString::number(counts.kept), QString::fromLatin1(profile.sha256())));
    return kDone;
}

}  // namespace

int runProfile(const QStringList &arguments, Summary &summary) {
    const QString command = arguments.value(1);
    if (command == u"check") return runCheck(arguments.mid(1), summary);
    if (command == u"--help" || command == u"-h") {
        std::fputs(kProfileHelp, stdout);
        return kDone;
    }
    if (command.isEmpty())
        std::fputs("orvel profile: a command is missing.\n", stderr);
    else
        std::fprintf(stderr, "orvel profile: '%s' is no profile command.\n",
                     command.toLocal8Bit().constData());
    std::fputs(kProfileHelp, stderr);
    return kUsage;
}

}  // namespace orvel::cli
