#include "cli/operation.h"

#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>

#include "cli/commandline.h"
#include "cli/exitstatus.h"
#include "ports/portwords.h"
#include "table/restoreplan.h"

namespace orvel::cli {
namespace {

constexpr int kFailuresNamed = 10;

void printError(const QString &text) {
    std::fputs((text + u'\n').toLocal8Bit().constData(), stderr);
}

// A byte not sent, said when the device went silent after it.
QString unsentText(const Done<PortFailure> &sent) {
    if (sent) return {};
    return sent.why() == PortFailure::NotOpen ? QStringLiteral("The port is not open.")
                                              : sent.words();
}

QString signalText(int signal) {
    switch (signal) {
        case SIGINT:
            return QStringLiteral("Ctrl+C");
        case SIGHUP:
            return QStringLiteral("SIGHUP (the terminal hung up)");
        default:
            return QStringLiteral("SIG") + QString::fromLatin1(sigabbrev_np(signal));
    }
}

// Why an object was not done, a doubt by what was seen on the line.
QString reasonText(FailReason reason) {
    switch (reason) {
        case FailReason::InDoubt:
            return QStringLiteral("a byte too many or too few next to every value read");
        case FailReason::Differing:
            return QStringLiteral("two reads differ, every time");
        case FailReason::Unconfirmed:
            return QStringLiteral("two reads differ, and no try was left to read it again");
        default:
            return plan::reasonText(reason);
    }
}

// The objects not done, with the reasons.
void sayFailed(const JobSummary &summary) {
    if (summary.failed.isEmpty() || summary.deviceNotAnswering) return;
    QStringList named;
    for (const ObjectResult &failed :
         summary.failed.first(std::min<qsizetype>(kFailuresNamed, summary.failed.size())))
        named.append(
            QStringLiteral("%1 (%2)").arg(failed.object).arg(reasonText(failed.reason)));
    if (summary.failed.size() > kFailuresNamed)
        named.append(QStringLiteral("and %1 more").arg(summary.failed.size() - kFailuresNamed));
    printError(QStringLiteral("Not done: %1.").arg(named.join(QStringLiteral(", "))));
}

}  // namespace

Operation::Operation(const QString &name, const CommandLine &line)
    : summary(line.summary()),
      m_line(line),
      m_json(line.isSet("json")),
      m_quiet(line.isSet("quiet")),
      m_progress(!line.isSet("quiet") && ::isatty(STDERR_FILENO)) {
    summary.operation = name;
}

Done<Halt> Operation::open() {
    const auto port = choosePort(m_line.value("port"));
    if (!port)
        return Failure<Halt>{Halt::Usage,
                             QStringLiteral("'%1' is no port: give COM1 to COM4, a device such "
                                            "as /dev/ttyUSB0, or a name under /dev/serial/by-id/ "
                                            "(orvel ports lists them)")
                                 .arg(port.words())};
    m_port = *port;
    summary.port = m_port.label;
    if (m_line.isSet("log")) {
        if (const Done<FileFailure> opened = m_log.open(m_line.value("log")); !opened)
            return Failure<Halt>{Halt::FileUnfit,
                                 QStringLiteral("%1 cannot be opened for the log: %2")
                                     .arg(m_line.value("log"), opened.words())};
    }
    m_run = std::make_unique<DeviceRun>(m_port, m_log, m_progress);
    QObject::connect(m_run.get(), &DeviceRun::stopping, m_run.get(), [this](int signal) {
        say(QStringLiteral("%1: stopping after the object under way, leaving the device idle "
                           "(%2 again quits at once).")
                .arg(signalText(signal), signal == SIGINT ? QStringLiteral("Ctrl+C")
                                                          : QStringLiteral("a signal")));
    });
    if (const Done<PortFailure> opened = m_run->open(); !opened)
        return Failure<Halt>{Halt::PortFailed, openFailureText(opened.failure(), m_port)};
    return {};
}

RunResult Operation::run(const Job &job, const QString &label, const JournalNames &names) {
    RunResult result = m_run->run(job, label, names);
    if (result.journalFailure)
        printError(QStringLiteral("orvel: the journal cannot be written (%1); values are not "
                                  "journaled until it can be.")
                       .arg(result.journalFailure->words));
    return result;
}

void Operation::say(const QString &text) const {
    if (!m_quiet) printError(text);
}

Ending Operation::ended(const RunResult &result) const {
    const JobSummary &s = result.summary;
    const Ending ending = result.ending();
    if (ending.portLost) {
        printError(QStringLiteral("The port %1 was lost: %2.").arg(m_port.label, lostPortWords()));
    } else if (ending.silent) {
        if (const QString unsent = unsentText(m_run->problem()); !unsent.isEmpty())
            printError(unsent);
        printError(QStringLiteral("The device on %1 is not answering: check the cable and that "
                                  "it is switched on.")
                       .arg(m_port.label));
    } else if (ending.interrupted) {
        say(QStringLiteral("Stopped by %1 after %2 of %3.")
                .arg(signalText(ending.interrupted))
                .arg(s.done)
                .arg(plan::objectsText(s.total)));
    }
    sayFailed(s);
    return ending;
}

Ending &Ending::operator+=(const Ending &later) {
    portLost = portLost || later.portLost;
    silent = silent || later.silent;
    if (!interrupted) interrupted = later.interrupted;
    notDone += later.notDone;
    differed += later.differed;
    kept += later.kept;
    unsaved = unsaved || later.unsaved;
    unasked = unasked || later.unasked;
    written += later.written;
    verified += later.verified;
    failed += later.failed;
    notTried += later.notTried;
    seconds += later.seconds;
    return *this;
}

int exitStatus(const Ending &ending) {
    if (ending.unsaved || ending.unasked) return kUsage;
    if (ending.portLost || ending.silent) return kNotAnswering;
    if (ending.interrupted) return kSignalled + ending.interrupted;
    if (ending.notDone > 0 || ending.differed - ending.kept > ending.verified)
        return kDiffer;
    return kDone;
}

QString notTriedText(int count) {
    return count > 0 ? QStringLiteral(", not tried %1").arg(count) : QString();
}

QString countsText(const Ending &ending) {
    return QStringLiteral("written %1, verified %2, failed %3%4")
        .arg(ending.written)
        .arg(ending.verified)
        .arg(ending.failed)
        .arg(notTriedText(ending.notTried));
}

int Operation::end(const Ending &ending, const QString &text) {
    summary.differed = ending.differed;
    summary.written = ending.written;
    summary.verified = ending.verified;
    summary.failed = ending.failed;
    summary.notTried = ending.notTried;
    summary.seconds = ending.seconds;
    if (!m_json) say(text);
    return exitStatus(ending);
}

}  // namespace orvel::cli
