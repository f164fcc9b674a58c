#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/interruptwatcher.h"
#include "cli/ledgerbook.h"
#include "cli/portchoice.h"
#include "cli/profilechoice.h"
#include "journal/journal.h"
#include "serial/qserialbackend.h"
#include "station/station.h"
#include "table/profileplan.h"
#include "table/restoreplan.h"
#include "table/tablestore.h"

namespace orvel::cli {
namespace {

using station::Cause;
using station::Phase;
using station::Slot;
using station::UnitReport;
using station::UnitResult;

constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

void print(std::FILE *out, const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}

QString objectsText(int count) {
    return count == 1 ? QStringLiteral("1 object") : QStringLiteral("%1 objects").arg(count);
}

QString phaseText(Phase phase) {
    switch (phase) {
        case Phase::NoPort:
            return QStringLiteral("no port");
        case Phase::Waiting:
            return QStringLiteral("waiting for a unit");
        case Phase::NeedsLabel:
            return QStringLiteral("scan its label");
        case Phase::Reading:
            return QStringLiteral("reading");
        case Phase::Writing:
            return QStringLiteral("writing");
        case Phase::Confirming:
            return QStringLiteral("confirming");
        case Phase::Finished:
            return QStringLiteral("take the unit away");
        case Phase::Stopped:
            return QStringLiteral("stopped");
    }
    return {};
}

QString resultText(UnitResult result) {
    switch (result) {
        case UnitResult::Pass:
            return QStringLiteral("PASS");
        case UnitResult::Fail:
            return QStringLiteral("FAIL");
        case UnitResult::CutShort:
            return QStringLiteral("CUT SHORT");
    }
    return {};
}

QString causeText(Cause cause, int count, const QString &words) {
    switch (cause) {
        case Cause::None:
            return {};
        case Cause::NotRead:
            return objectsText(count) + QStringLiteral(" could not be read");
        case Cause::NotWritten:
            return objectsText(count) + QStringLiteral(" not written and verified");
        case Cause::Differs:
            return objectsText(count) + QStringLiteral(" differ from the table");
        case Cause::Unconfirmed:
            return objectsText(count) + QStringLiteral(" could not be confirmed");
        case Cause::Silent:
            return QStringLiteral("the device stopped answering");
        case Cause::PortLost:
            return QStringLiteral("the port was lost (%1)").arg(words);
        case Cause::Stopped:
            return QStringLiteral("the station was stopped");
        case Cause::NotRecorded:
            return QStringLiteral("its record could not be written (%1)").arg(words);
    }
    return {};
}

QString refusalText(const Failure<station::BookFailure> &failure) {
    switch (failure.why) {
        case station::BookFailure::LabelsUsedUp:
            return QStringLiteral("no label is left in the list: not programmed");
        case station::BookFailure::LabelUsed:
            return QStringLiteral("label %1 is recorded already (--again programs it again)")
                .arg(failure.words);
        case station::BookFailure::NotWritten:
            return QStringLiteral("no record could be begun (%1): not programmed")
                .arg(failure.words);
        case station::BookFailure::NoUnitWaits:
            return QStringLiteral("no unit waits for a label");
    }
    return {};
}

// The physical place of a port, from the system's by-path names, where it has them.
QString placeOf(const QString &device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir byPath(QStringLiteral("/dev/serial/by-path"));
    for (const QFileInfo &link : byPath.entryInfoList(QDir::System | QDir::Files))
        if (!target.isEmpty() && link.canonicalFilePath() == target) return link.fileName();
    return {};
}

// What the operator sees: on a terminal, a line per slot rewritten in place and a total;
// elsewhere, a line per event; with --json, a JSON object per finished unit. Under a profile
// each unit's objects kept from writing are counted too.
class Display final : public QObject {
public:
    enum class Mode { Terminal, Events, Json };

    Display(station::Station &station, Mode mode, bool profiled)
        : m_station(station), m_mode(mode), m_profiled(profiled) {
        connect(&station, &station::Station::changed, this, &Display::slotChanged);
        connect(&station, &station::Station::unitFinished, this, &Display::unitFinished);
        m_redraw.setInterval(kRedrawEvery);
        connect(&m_redraw, &QTimer::timeout, this, &Display::draw);
        if (m_mode == Mode::Terminal) m_redraw.start();
    }

    void say(const QString &line) {
        if (m_mode == Mode::Terminal) {
            m_notice = line;
            draw();
        } else {
            print(stderr, line + u'\n');
        }
    }

    void finish() {
        if (m_mode == Mode::Terminal) draw();
        m_redraw.stop();
    }

private:
    QString slotLine(const Slot &slot) const {
        const station::SlotStatus &s = slot.status();
        QString line = QStringLiteral("slot %1 %2").arg(slot.setup().number).arg(
            slot.setup().target.name);
        if (!slot.setup().place.isEmpty()) line += QStringLiteral(" [%1]").arg(slot.setup().place);
        line += QStringLiteral(": ") + phaseText(s.phase);
        if (!s.label.isEmpty()) line += u' ' + s.label;
        const bool working = s.phase == Phase::Reading || s.phase == Phase::Writing ||
                             s.phase == Phase::Confirming;
        if (working) {
            line += QStringLiteral(", object %1 of %2")
                        .arg(s.progress.done())
                        .arg(s.progress.total());
            if (const auto left = s.progress.timeLeft())
                line += QStringLiteral(", %1 left").arg(durationText(*left));
        }
        if (s.phase == Phase::NoPort && !s.portProblem.isEmpty())
            line += QStringLiteral(" (%1)").arg(s.portProblem);
        if (s.refused && s.phase == Phase::Finished)
            line += QStringLiteral("; ") + refusalText(*s.refused);
        else if (s.lastResult)
            line += QStringLiteral("; last: ") + resultText(*s.lastResult);
        return line;
    }

    QString totalLine() const {
        const station::Totals t = m_station.totals();
        return QStringLiteral("units: %1 PASS, %2 FAIL, %3 cut short; %4 units per hour")
            .arg(t.pass)
            .arg(t.fail)
            .arg(t.cutShort)
            .arg(t.unitsPerHour, 0, 'f', 0);
    }

    void draw() {
        QString text;
        if (m_drawnLines > 0) text += QStringLiteral("\x1b[%1F").arg(m_drawnLines);
        int lines = 0;
        for (const Slot *slot : m_station.allSlots()) {
            text += slotLine(*slot) + QStringLiteral("\x1b[K\n");
            ++lines;
        }
        text += totalLine() + QStringLiteral("\x1b[K\n");
        ++lines;
        if (const Slot *next = m_station.waitingForLabel())
            text += QStringLiteral("Scan or type the label for slot %1.")
                        .arg(next->setup().number);
        else
            text += m_notice;
        text += QStringLiteral("\x1b[K\n");
        ++lines;
        m_drawnLines = lines;
        print(stderr, text);
    }

    void slotChanged(int number) {
        if (m_mode == Mode::Terminal) return;  // the next redraw shows it
        const Slot *slot = m_station.allSlots().at(number - 1);
        const Phase phase = slot->status().phase;
        if (phase == m_phases.value(number, Phase::Stopped) && m_phases.contains(number)) return;
        m_phases[number] = phase;
        if (m_mode == Mode::Events) print(stderr, slotLine(*slot) + u'\n');
    }

    void unitFinished(const UnitReport &r) {
        if (m_mode == Mode::Json) {
            QJsonObject o{{"slot", r.slot},
                          {"port", m_station.allSlots().at(r.slot - 1)->setup().target.name},
                          {"label", r.label},
                          {"result", station::resultToken(r.result)},
                          {"cause", station::causeToken(r.cause)},
                          {"differed", r.differed},
                          {"written", r.written},
                          {"verified", r.verified},
                          {"failed", r.failed},
                          {"seconds", r.seconds}};
            if (m_profiled) o["kept"] = r.kept;
            print(stdout, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) +
                              u'\n');
            return;
        }
        QString line = QStringLiteral("slot %1: %2 %3 in %4 s (differed %5, written %6, verified %7)")
                           .arg(r.slot)
                           .arg(r.label, resultText(r.result))
                           .arg(r.seconds, 0, 'f', 1)
                           .arg(r.differed)
                           .arg(r.written)
                           .arg(r.verified);
        if (m_profiled) line.insert(line.size() - 1, QStringLiteral(", kept %1").arg(r.kept));
        if (r.result != UnitResult::Pass)
            line += QStringLiteral(": ") + causeText(r.cause, r.failed, r.causeWords);
        say(line);
    }

    station::Station &m_station;
    Mode m_mode;
    bool m_profiled;
    QTimer m_redraw;
    int m_drawnLines = 0;
    QString m_notice;
    QMap<int, Phase> m_phases;
};

}  // namespace

int runStation(const QStringList &arguments, Summary &summary) {
    CommandLine line(
        QStringLiteral("station"),
        QStringLiteral("orvel station --table FILE --ports P1,P2,... [options]"),
        QStringLiteral("Programs units on several ports at once, each port a slot of its own: "
                       "a slot waits for a unit, reads it, writes only the objects that differ "
                       "from the table (each read back), confirms every object with an "
                       "independent read, records the unit in the ledger and shows PASS or "
                       "FAIL; then it waits until the unit is taken away and the next one "
                       "comes. Ctrl+C finishes the object under way on every slot and closes "
                       "every record."),
        summary);
    line.parser().addOptions({
        {"table", "The table file every unit is programmed with.", "FILE"},
        {"ports",
         "The slots' ports, separated by commas: COM1 to COM4, device paths, or names "
         "under /dev/serial/by-id.",
         "PORTS"},
        {"labels", "Takes each unit's label from FILE, one a line; each is used once, ever.",
         "FILE"},
        {"auto-labels", "Makes each unit's label: PREFIX and a number.", "PREFIX"},
        {"again", "Programs a unit whose label is recorded PASS already."},
        {"profile",
         "Programs under the profile FILE: objects it marks read-only or keep are compared and "
         "never written; a table value it does not allow refuses the table before any unit "
         "starts. Its name, version and SHA-256 are kept with every record.",
         "FILE"},
        {"ledger", "The ledger's database (default: under the user's data folder).", "FILE"},
        {"station", "This station's name, kept with every record.", "NAME"},
        {"operator", "The operator's name, kept with every record.", "NAME"},
        {"gone-after",
         "A unit whose device has been silent this long (milliseconds, default 1500) has "
         "been taken away.",
         "MS"},
        {"units", "Ends after N units (pass or fail); exits with 1 if any failed.", "N"},
        {"json", "Prints one JSON object per finished unit on standard output."},
    });
    if (const auto parsed = line.parse(arguments, 0); !parsed)
        return line.halt(parsed.failure());
    summary.wanted = false;  // a JSON object per finished unit is what --json asked for
    if (!line.isSet("table")) return line.usageError(QStringLiteral("--table is missing"));
    if (!line.isSet("ports")) return line.usageError(QStringLiteral("--ports is missing"));
    if (line.isSet("labels") && line.isSet("auto-labels"))
        return line.usageError(QStringLiteral("--labels and --auto-labels exclude each other"));
    bool numberOk = true;
    const int goneAfter =
        line.isSet("gone-after") ? line.value("gone-after").toInt(&numberOk) : 1500;
    if (!numberOk || goneAfter < 100)
        return line.usageError(QStringLiteral("--gone-after takes milliseconds, 100 or more"));
    const int units = line.isSet("units") ? line.value("units").toInt(&numberOk) : 0;
    if (!numberOk || units < 0)
        return line.usageError(QStringLiteral("--units takes a whole number"));

    const QString tablePath = line.value("table");
    const auto usable = plan::usableTable(tablePath);
    if (!usable) return line.halt({Halt::FileUnfit, usable.words()});
    const Table &table = *usable;
    // Checked before the ledger and the ports are opened: a table the profile refuses
    // touches no unit and leaves no record.
    const auto chosen = chosenProfile(line);
    if (!chosen) return line.halt(chosen.failure());
    const Profile &profile = *chosen;
    if (const QString mismatch = plan::profileMismatch(table, profile); !mismatch.isEmpty())
        print(stderr, QStringLiteral("orvel station: %1\n").arg(mismatch));
    if (const auto refused = plan::outOfRange(table, profile); !refused.empty())
        return line.halt(
            {Halt::FileUnfit,
             QStringLiteral("%1 holds %2 the profile %3 does not allow: no unit is "
                            "programmed.\n%4")
                 .arg(tablePath,
                      refused.size() == 1 ? QStringLiteral("1 value")
                                          : QStringLiteral("%1 values").arg(refused.size()),
                      profile.name(), plan::outOfRangeLines(refused, profile).join(u'\n'))});

    LedgerBook::Setup bookSetup;
    bookSetup.ledgerPath = line.value("ledger");
    bookSetup.station = line.value("station");
    bookSetup.operatorName = line.value("operator");
    bookSetup.version = QCoreApplication::applicationVersion();
    bookSetup.tableName = QFileInfo(tablePath).fileName();
    bookSetup.table = table;
    bookSetup.profileName = profile.name();
    bookSetup.profileVersion = profile.version();
    bookSetup.profileSha256 = QString::fromLatin1(profile.sha256());
    bookSetup.autoPrefix = line.value("auto-labels");
    bookSetup.again = line.isSet("again");
    if (line.isSet("labels")) {
        QFile file(line.value("labels"));
        if (!file.open(QIODevice::ReadOnly))
            return line.usageError(
                QStringLiteral("%1 cannot be read: %2").arg(file.fileName(), file.errorString()));
        for (const QByteArray &raw : file.readAll().split('\n'))
            if (const QString label = QString::fromUtf8(raw).trimmed(); !label.isEmpty())
                bookSetup.listLabels.append(label);
        if (bookSetup.listLabels.isEmpty())
            return line.usageError(QStringLiteral("%1 holds no label").arg(file.fileName()));
    }
    auto book = LedgerBook::open(bookSetup);
    if (!book) {
        print(stderr, QStringLiteral("orvel station: %1\n").arg(book.words()));
        return kUsage;
    }

    Journal journal;
    station::Station station;
    const bool typed = !line.isSet("labels") && !line.isSet("auto-labels");
    int number = 0;
    for (const QString &name : line.value("ports").split(u',', Qt::SkipEmptyParts)) {
        const auto port = choosePort(name.trimmed());
        if (!port) return line.usageError(QStringLiteral("'%1' names no port").arg(name));
        Slot::Setup setup;
        setup.number = ++number;
        setup.target = port->target;
        setup.target.name = name.trimmed();
        setup.place = placeOf(port->target.path);
        setup.labelsTyped = typed;
        setup.again = line.isSet("again");
        setup.profile = profile;
        station::SlotTiming timing;
        timing.goneAfter = std::chrono::milliseconds(goneAfter);
        station.add(std::make_unique<Slot>(setup, table, **book, journal,
                                           std::make_unique<QSerialBackend>(), timing));
    }
    if (number == 0) return line.usageError(QStringLiteral("--ports names no port"));

    const Display::Mode mode = line.isSet("json")        ? Display::Mode::Json
                               : ::isatty(STDERR_FILENO) ? Display::Mode::Terminal
                                                         : Display::Mode::Events;
    Display display(station, mode, line.isSet("profile"));
    int finished = 0;
    bool anyFailed = false;
    int interrupted = 0;  // the signal that stopped the station
    QObject::connect(&station, &station::Station::unitFinished, &station,
                     [&](const UnitReport &report) {
                         anyFailed = anyFailed || report.result != UnitResult::Pass;
                         if (units > 0 && ++finished >= units) station.stop();
                     });
    InterruptWatcher interrupt;
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &station, [&](int signal) {
        interrupted = signal;
        display.say(QStringLiteral("Stopping: each slot finishes the object under way."));
        station.stop();
    });
    std::unique_ptr<QSocketNotifier> labels;
    if (typed) {
        labels = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(labels.get(), &QSocketNotifier::activated, &station, [&] {
            char buffer[512];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                labels->setEnabled(false);  // no more labels will come
                return;
            }
            for (const QByteArray &raw : QByteArray(buffer, n).split('\n')) {
                const QString label = QString::fromUtf8(raw).trimmed();
                if (label.isEmpty()) continue;
                if (const auto given = station.label(label); !given)
                    display.say(QStringLiteral("Label %1: %2")
                                    .arg(label, refusalText(given.failure())));
                else
                    display.say(QStringLiteral("Label %1 goes to slot %2.").arg(label).arg(*given));
            }
        });
    }
    QEventLoop loop;
    QObject::connect(&station, &station::Station::finished, &loop, &QEventLoop::quit);
    station.start();
    loop.exec();
    display.finish();
    if (interrupted) return kSignalled + interrupted;
    return anyFailed ? kDiffer : kDone;
}

}  // namespace orvel::cli
