#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "ledger/ledger.h"
#include "table/tablestore.h"

namespace orvel::cli {
namespace {

void print(std::FILE *out, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

QString failureText(const Failure<LedgerFailure> &failure, const QString &path) {
    const auto with = [&](const char *what) {
        const QString text = QString::fromLatin1(what);
        return failure.words.isEmpty() ? text : text + QStringLiteral(": ") + failure.words;
    };
    switch (failure.why) {
        case LedgerFailure::Link:
        case LedgerFailure::NotOwn:
        case LedgerFailure::System:
            return failure.words;
        case LedgerFailure::Missing:
            return QStringLiteral("there is no ledger at %1").arg(failure.words);
        case LedgerFailure::NoDriver:
            return QStringLiteral("Qt's SQLite driver is missing (install libqt6sql6-sqlite)");
        case LedgerFailure::NotALedger:
            return path + QStringLiteral(": ") + with("not a ledger, or a damaged one");
        case LedgerFailure::Newer:
            return path + QStringLiteral(": written by a newer orvel");
        case LedgerFailure::NoRecord:
            return QStringLiteral("no such record");
        default:
            break;
    }
    return path + QStringLiteral(": ") + with("the ledger cannot be read");
}

int ledgerFailed(const QString &command, const Failure<LedgerFailure> &failure,
                 const QString &path) {
    print(stderr, QStringLiteral("orvel %1: %2\n").arg(command, failureText(failure, path)));
    return kUsage;
}

QString csvField(const QString &text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString timeText(const QDateTime &time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

// The figures of a record that a supervisor sums up.
struct Counts {
    int differed = 0, written = 0, verified = 0, failed = 0, inDoubt = 0, tries = 0, kept = 0;
};

Counts countsOf(const UnitRecord &record) {
    Counts counts;
    counts.differed = int(record.differed.size());
    for (const ObjectNote &note : record.differed) counts.kept += note.kept ? 1 : 0;
    for (const auto *notes : {&record.differed, &record.intended, &record.written,
                              &record.confirmed})
        for (const ObjectNote &note : *notes) {
            counts.failed += note.failure.isEmpty() ? 0 : 1;
            counts.inDoubt += note.inDoubt;
        }
    for (const ObjectNote &note : record.written) {
        counts.tries += note.tries;
        if (!note.failure.isEmpty()) continue;
        ++counts.written;
        counts.verified += note.observed && note.observed == note.intended ? 1 : 0;
    }
    return counts;
}

constexpr const char *kCsvColumns =
    "id,label,slot,port,place,station,operator,version,table,sha256,started,ended,result,"
    "confirmation,differed,written,verified,failed,in_doubt,tries,words,profile,"
    "profile_version,profile_sha256,kept\n";

QString csvLine(const UnitRecord &r) {
    const Counts c = countsOf(r);
    QStringList fields = {QString::number(r.id), r.label, r.slot, r.port, r.place, r.station,
                          r.operatorName, r.version, r.tableName, r.tableSha256,
                          timeText(r.started), timeText(r.ended), resultName(r.result),
                          confirmationName(r.confirmation)};
    for (const int n : {c.differed, c.written, c.verified, c.failed, c.inDoubt, c.tries})
        fields.append(QString::number(n));
    fields << r.words << r.profileName << r.profileVersion << r.profileSha256
           << QString::number(c.kept);
    for (QString &field : fields) field = csvField(field);
    return fields.join(u',') + u'\n';
}

QJsonArray jsonNotes(const std::vector<ObjectNote> &notes) {
    QJsonArray array;
    for (const ObjectNote &note : notes) {
        QJsonObject object{{"object", note.object}, {"tries", note.tries},
                           {"inDoubt", note.inDoubt}};
        object["intended"] = note.intended ? QJsonValue(*note.intended) : QJsonValue();
        object["observed"] = note.observed ? QJsonValue(*note.observed) : QJsonValue();
        if (!note.failure.isEmpty()) object["failure"] = note.failure;
        if (note.kept) object["kept"] = true;
        array.append(object);
    }
    return array;
}

QByteArray jsonLine(const UnitRecord &r) {
    const QJsonObject object{
        {"id", r.id},
        {"label", r.label},
        {"slot", r.slot},
        {"port", r.port},
        {"place", r.place},
        {"station", r.station},
        {"operator", r.operatorName},
        {"version", r.version},
        {"table", r.tableName},
        {"sha256", r.tableSha256},
        {"started", timeText(r.started)},
        {"ended", r.ended.isValid() ? QJsonValue(timeText(r.ended)) : QJsonValue()},
        {"result", resultName(r.result)},
        {"confirmation", r.confirmation ? QJsonValue(confirmationName(r.confirmation))
                                        : QJsonValue()},
        {"words", r.words},
        {"profile", r.profileName.isEmpty()
                        ? QJsonValue()
                        : QJsonObject{{"name", r.profileName},
                                      {"version", r.profileVersion},
                                      {"sha256", r.profileSha256}}},
        {"differed", jsonNotes(r.differed)},
        {"intended", jsonNotes(r.intended)},
        {"written", jsonNotes(r.written)},
        {"confirmed", jsonNotes(r.confirmed)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

const QCommandLineOption kLedgerOption{
    "ledger", "The ledger's file; without it the station's default place.", "FILE"};

int runTable(const QStringList &arguments, Summary &summary) {
    const QString command = QStringLiteral("ledger table");
    CommandLine line(command, QStringLiteral("orvel ledger table LABEL -o TABLE [--ledger FILE]"),
                     QStringLiteral("Writes the table that the unit labelled LABEL was "
                                    "programmed with (its latest record, or --record) to "
                                    "TABLE, byte for byte as the station had it."),
                     summary);
    line.setMissingPositional(QStringLiteral("the label"));
    line.parser().addOptions({kLedgerOption,
                              {{"o", "output"}, "The table file to write.", "TABLE"},
                              {"record", "The record (its id) instead of the latest.", "ID"}});
    if (const auto parsed = line.parse(arguments, 1); !parsed)
        return line.halt(parsed.failure());
    if (!line.isSet("output")) return line.usageError(QStringLiteral("-o is missing"));
    const QString path = line.value("ledger");
    auto ledger = Ledger::openForReading(path);
    if (!ledger) return ledgerFailed(command, ledger.failure(), path);
    const QString label = line.positionals().at(0);
    RecordFilter filter;
    filter.label = label;
    auto records = ledger->records(filter);
    if (!records) return ledgerFailed(command, records.failure(), ledger->path());
    const UnitRecord *chosen = records->empty() ? nullptr : &records->back();
    if (line.isSet("record")) {
        chosen = nullptr;
        for (const UnitRecord &record : *records)
            if (QString::number(record.id) == line.value("record")) chosen = &record;
    }
    if (chosen == nullptr) {
        print(stderr, QStringLiteral("orvel %1: no record of '%2'%3\n")
                          .arg(command, label,
                               line.isSet("record") ? QStringLiteral(" with that id") : QString()));
        return kUsage;
    }
    const auto table = ledger->tableOf(chosen->id);
    if (!table) return ledgerFailed(command, table.failure(), ledger->path());
    if (const auto saved = saveTable(line.value("output"), table->table); !saved) {
        print(stderr, QStringLiteral("orvel %1: %2: %3\n")
                          .arg(command, line.value("output"), saved.words()));
        return kUsage;
    }
    const QString profile =
        chosen->profileName.isEmpty()
            ? QString()
            : QStringLiteral("; profile %1, version %2, SHA-256 %3")
                  .arg(chosen->profileName, chosen->profileVersion, chosen->profileSha256);
    print(stderr, QStringLiteral("Record %1 (%2, %3): %4, SHA-256 %5%6\n")
                      .arg(chosen->id)
                      .arg(timeText(chosen->started), resultName(chosen->result), table->name,
                           table->sha256, profile));
    return kDone;
}

}  // namespace

int runLedger(const QStringList &arguments, Summary &summary) {
    if (arguments.value(1) == u"table") return runTable(arguments.mid(1), summary);
    const QString command = QStringLiteral("ledger");
    CommandLine line(command,
                     QStringLiteral("orvel ledger [--label L] [--from TIME] [--to TIME] "
                                    "[--result R] [--station S] [--slot S] [--json] "
                                    "[--ledger FILE]\n       orvel ledger table LABEL -o TABLE"),
                     QStringLiteral("Lists the records of a production station's ledger, oldest "
                                    "first: one CSV line per record, or one JSON object per "
                                    "record with every object noted. Reading never holds up a "
                                    "station that is writing. A record never closed is 'open': "
                                    "under way, or cut short by a station that was killed."),
                     summary);
    line.parser().addOptions({
        kLedgerOption,
        {"label", "Only the records of this label.", "L"},
        {"from", "Only units started at or after TIME (ISO 8601, local unless it says).", "TIME"},
        {"to", "Only units started before TIME.", "TIME"},
        {"result", "Only records with this result: pass, fail, cut-short or open.", "R"},
        {"station", "Only units of this station.", "S"},
        {"slot", "Only units of this slot.", "S"},
        {"json", "One JSON object per record, with its notes."},
    });
    if (const auto parsed = line.parse(arguments, 0); !parsed)
        return line.halt(parsed.failure());
    summary.wanted = false;  // the records are what --json asked for
    RecordFilter filter;
    filter.label = line.value("label");
    filter.station = line.value("station");
    filter.slot = line.value("slot");
    for (const char *name : {"from", "to"}) {
        if (!line.isSet(name)) continue;
        const QDateTime time = QDateTime::fromString(line.value(name), Qt::ISODateWithMs);
        if (!time.isValid())
            return line.usageError(QStringLiteral("--%1: '%2' is no ISO 8601 time")
                                       .arg(QLatin1String(name), line.value(name)));
        (name[0] == 'f' ? filter.from : filter.to) = time;
    }
    if (line.isSet("result")) {
        const QString wanted = line.value("result");
        filter.openOnly = wanted == u"open";
        for (const UnitResult result : {UnitResult::Pass, UnitResult::Fail, UnitResult::CutShort})
            if (resultName(result) == wanted) filter.result = result;
        if (!filter.openOnly && !filter.result)
            return line.usageError(QStringLiteral("--result: '%1' is none of pass, fail, "
                                                  "cut-short, open")
                                       .arg(wanted));
    }
    const QString path = line.value("ledger");
    auto ledger = Ledger::openForReading(path);
    if (!ledger) return ledgerFailed(command, ledger.failure(), path);
    const auto records = ledger->records(filter);
    if (!records) return ledgerFailed(command, records.failure(), ledger->path());
    const bool json = line.isSet("json");
    if (!json) std::fputs(kCsvColumns, stdout);
    for (const UnitRecord &record : *records) {
        if (json) {
            const QByteArray bytes = jsonLine(record);
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        } else {
            print(stdout, csvLine(record));
        }
    }
    return std::fflush(stdout) == 0 ? kDone : kUsage;
}

}  // namespace orvel::cli
