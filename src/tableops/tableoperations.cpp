#include "tableops/tableoperations.h"

#include "app/frmterminal.h"
#include "app/statusline.h"
#include "device/devicesession.h"
#include "progress/transferprogress.h"
#include "serial/mscomm.h"
#include "table/tablestore.h"
#include "tableops/operationdialog.h"

#include <QSaveFile>

namespace orvel {
namespace {

const QString kTableFilter =
    QStringLiteral("Table Files (*.csv)|*.csv|All Files (*.*)|*.*");
// A write with its read-back takes 18 bytes on the line where a read takes 8.
constexpr double kWriteToReadTime = 18.0 / 8.0;

QString reasonText(FailReason reason) {
    switch (reason) {
    case FailReason::TimedOut: return QStringLiteral("no answer in time");
    case FailReason::NoAnswer: return QStringLiteral("the device did not answer");
    case FailReason::GaveUp: return QStringLiteral("the device gave the command up");
    case FailReason::Mismatch: return QStringLiteral("read back a different value");
    case FailReason::InDoubt: return QStringLiteral("the line left every value in doubt");
    case FailReason::Differing: return QStringLiteral("the device gave differing values");
    case FailReason::None: break;
    }
    return QString();
}

// What ended early, said after the main result.
QString endNotes(const JobSummary &summary) {
    QString notes;
    if (summary.stopped)
        notes += QStringLiteral("\nStopped after %1 of %2 objects.").arg(summary.done).arg(summary.total);
    if (summary.deviceNotAnswering)
        notes += QStringLiteral("\nThe device is not answering: check the cable and that it is "
                                "switched on.");
    if (!summary.failed.isEmpty())
        notes += QStringLiteral("\n%1 objects could not be done.").arg(summary.failed.size());
    return notes;
}

}  // namespace

TableOperations::TableOperations(FrmTerminal &form) : m_form(form) {}

TableOperations::~TableOperations() = default;

void TableOperations::saveTable() {
    const Table &table = m_form.valuesRead();
    if (table.objects.empty() && table.settings.empty()) {
        m_form.messageBox(QStringLiteral("Nothing has been read yet: read objects first (Read, "
                                         "or Device, Compare with table)."));
        return;
    }
    const std::optional<QString> path =
        m_form.saveFileDialog({QStringLiteral("Save table"), kTableFilter, 1});
    if (!path) return;
    const SaveResult result = orvel::saveTable(*path, table);
    if (!result.ok()) {
        m_form.messageBox(result.error, Dialogs::Icon::Exclamation);
        return;
    }
    m_form.statusLine().showProblem(
        QStringLiteral("%1 objects saved to %2").arg(table.objects.size()).arg(*path));
}

std::optional<Table> TableOperations::chooseTable(const QString &title) {
    const std::optional<QString> path = m_form.openFileDialog({title, kTableFilter, 1});
    if (!path) return std::nullopt;
    const LoadResult loaded = loadTable(*path);
    if (!loaded.error.isEmpty()) {
        m_form.messageBox(loaded.error, Dialogs::Icon::Exclamation);
        return std::nullopt;
    }
    if (!loaded.table) {
        const QStringList lines = firstRejections(loaded);
        m_form.messageBox(QStringLiteral("%1 is not used: %2 of its lines are not those of a "
                                         "table file.\n\n%3")
                              .arg(*path)
                              .arg(loaded.rejectedLines)
                              .arg(lines.join(u'\n')),
                          Dialogs::Icon::Exclamation);
        return std::nullopt;
    }
    if (loaded.table->objects.empty()) {
        m_form.messageBox(QStringLiteral("%1 holds no object.").arg(*path));
        return std::nullopt;
    }
    return loaded.table;
}

void TableOperations::compare() { readTable(Step::Compare, QStringLiteral("Compare with table")); }

void TableOperations::restore() { readTable(Step::RestoreRead, QStringLiteral("Restore table")); }

// Both begin alike: a table chosen, and every object it holds read fresh from the device.
void TableOperations::readTable(Step step, const QString &title) {
    if (m_session) return;
    const std::optional<Table> table = chooseTable(title);
    if (!table) return;
    m_table = *table;
    QList<int> objects;
    for (const auto &entry : m_table.objects) objects.append(entry.first);
    start(step, *Job::read(objects));
}

void TableOperations::start(Step step, const Job &job) {
    m_step = step;
    if (step != Step::RestoreWrite) m_read.clear();
    m_session = new DeviceSession(
        [this](char byte) {
            try {
                m_form.MSComm1().Output(byte);
            } catch (const SerialError &error) {
                m_form.statusLine().showProblem(error.description());
            }
        },
        this);
    connect(m_session, &DeviceSession::valueArrived, this,
            [this](int object, quint8 value, DeviceSession::ValueKind kind) {
                onValue(object, value, int(kind));
            });
    // A write is journaled before its value byte goes out; its read-back's line follows.
    connect(m_session, &DeviceSession::written, this, [this](int object, quint8 value) {
        m_form.recordValue(QStringLiteral("restore-write"), object, value, false);
        m_form.flushJournal();
    });
    connect(m_session, &DeviceSession::finished, this, &TableOperations::finished);
    const QString title = step == Step::Compare ? QStringLiteral("Compare with table")
                                                : QStringLiteral("Restore table");
    // The result of an operation before is done with: its dialog would show this one's
    // progress without a Stop button, and save this one's differences.
    if (m_dialog && step != Step::RestoreWrite) {
        m_dialog->close();
        m_dialog = nullptr;
    }
    if (!m_dialog) {
        m_dialog = new OperationDialog(title, &m_form);
        connect(m_dialog, &OperationDialog::saveClicked, this, &TableOperations::saveDifferences);
        m_dialog->show();
    }
    connect(m_dialog, &OperationDialog::stopClicked, m_session, &DeviceSession::stop);
    connect(m_session, &DeviceSession::progress, m_dialog, &OperationDialog::showProgress);
    m_form.divertReplies(m_session);
    m_form.statusLine().startTransfer(
        step == Step::RestoreWrite ? QStringLiteral("Restore") : QStringLiteral("Compare"),
        job.size());
    m_session->start(job);
}

void TableOperations::onValue(int object, quint8 value, int kind) {
    m_read[object] = value;
    if (kind == int(DeviceSession::ValueKind::Read)) {
        m_form.recordValue(m_step == Step::Compare ? QStringLiteral("compare")
                                                   : QStringLiteral("restore-read"),
                           object, value);
    } else {
        m_form.recordValue(QStringLiteral("restore-verify"), object, value);
    }
    m_form.statusLine().objectDone(object);
}

void TableOperations::finished(const JobSummary &summary) {
    m_form.divertReplies(nullptr);
    m_session->deleteLater();
    m_session = nullptr;
    m_form.statusLine().endTransfer();
    switch (m_step) {
    case Step::Compare: showDifferences(summary); break;
    case Step::RestoreRead: askToWrite(summary); break;
    case Step::RestoreWrite: showRestoreSummary(summary); break;
    }
}

void TableOperations::showDifferences(const JobSummary &summary) {
    m_differences = differences(m_table, m_read);
    QList<QStringList> rows;
    for (const Difference &d : m_differences)
        rows.append({QString::number(d.object), QString::number(d.device), QString::number(d.file)});
    const QString text =
        m_differences.empty()
            ? QStringLiteral("The device holds the table's values: none of the %1 objects read "
                             "differs.")
                  .arg(m_read.size())
            : QStringLiteral("%1 of the %2 objects read differ from the table.")
                  .arg(m_differences.size())
                  .arg(m_read.size());
    if (m_dialog) m_dialog->showResult(text + endNotes(summary), rows);
}

void TableOperations::askToWrite(const JobSummary &summary) {
    m_differences = differences(m_table, m_read);
    m_readTime = summary.elapsed;
    if (summary.stopped || summary.deviceNotAnswering || m_differences.empty()) {
        const QString text = m_differences.empty() && !summary.stopped
                                 ? QStringLiteral("The device already holds the table's values: "
                                                  "nothing is written.")
                                 : QStringLiteral("Nothing is written.");
        if (m_dialog) m_dialog->showResult(text + endNotes(summary), {});
        return;
    }
    const double perObject =
        std::chrono::duration<double>(summary.elapsed).count() / std::max(1, summary.done);
    const auto estimate = std::chrono::milliseconds(
        qint64(perObject * kWriteToReadTime * double(m_differences.size()) * 1000));
    const bool yes = m_form.question(
        QStringLiteral("%1 of the %2 objects read differ from the table.%3\n\nWriting them, each "
                       "read back at once, takes about %4. Write them now?")
            .arg(m_differences.size())
            .arg(m_read.size())
            .arg(endNotes(summary))
            .arg(durationText(estimate)));
    if (!yes) {
        if (m_dialog) m_dialog->showResult(QStringLiteral("Nothing is written."), {});
        return;
    }
    QList<JobItem> items;
    for (const Difference &d : m_differences) items.append({d.object, d.file});
    start(Step::RestoreWrite, *Job::write(items));
}

void TableOperations::showRestoreSummary(const JobSummary &summary) {
    QList<QStringList> rows;
    for (const ObjectResult &failed : summary.failed)
        rows.append({QString::number(failed.object),
                     failed.value ? QString::number(*failed.value) : QStringLiteral("-"),
                     QString::number(m_table.objects[failed.object]) + QStringLiteral(" (") +
                         reasonText(failed.reason) + u')'});
    const QString text = QStringLiteral("Written: %1, verified: %2, failed: %3.")
                             .arg(summary.written)
                             .arg(summary.verified)
                             .arg(summary.failed.size()) +
                         (summary.stopped ? QStringLiteral("\nStopped after %1 of %2 objects.")
                                                .arg(summary.done)
                                                .arg(summary.total)
                                          : QString()) +
                         (summary.deviceNotAnswering
                              ? QStringLiteral("\nThe device stopped answering: check the "
                                               "cable and that it is switched on.")
                              : QString());
    if (m_dialog) m_dialog->showResult(text, rows);
}

void TableOperations::saveDifferences() {
    const std::optional<QString> path =
        m_form.saveFileDialog({QStringLiteral("Save differences"), kTableFilter, 1});
    if (!path) return;
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(differencesText(m_differences)) < 0 ||
        !file.commit())
        m_form.messageBox(QStringLiteral("%1 cannot be saved: %2").arg(*path, file.errorString()),
                          Dialogs::Icon::Exclamation);
}

}  // namespace orvel
