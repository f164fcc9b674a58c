#include "tableops/tableoperations.h"

#include "app/boxes.h"
#include "app/porttexts.h"
#include "app/statusline.h"
#include "app/valuerecorder.h"
#include "device/devicesession.h"
#include "files/regularfile.h"
#include "profile/profilefile.h"
#include "ports/portwords.h"
#include "progress/transferprogress.h"
#include "serial/mscomm.h"
#include "table/profileplan.h"
#include "table/restoreplan.h"
#include "table/tablestore.h"
#include "tableops/operationdialog.h"

#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>

#include <utility>

namespace orvel {
namespace {

const QString kTableFilter =
    QStringLiteral("Table Files (*.csv)|*.csv|All Files (*.*)|*.*");
const QString kProfileFilter =
    QStringLiteral("Profiles (*.csv)|*.csv|All Files (*.*)|*.*");
const QString kProfileKey = QStringLiteral("profile");
const QString kDifferencesFilter =
    QStringLiteral("Differences (*.csv)|*.csv|All Files (*.*)|*.*");
// The window's remembered choices, beside the program's other configuration.
QSettings settings() {
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                         QStringLiteral("/window.conf"),
                     QSettings::IniFormat);
}

QString profileText(const Profile &profile) {
    return QStringLiteral("Profile: %1, version %2").arg(profile.name(), profile.version());
}

// What ended early, said after the main result.
QString endNotes(const JobSummary &summary, bool portLost) {
    QString notes;
    if (summary.stopped && !portLost)
        notes += QStringLiteral("\nStopped after %1 of %2.")
                     .arg(summary.done)
                     .arg(plan::objectsText(summary.total));
    if (portLost)
        notes += QStringLiteral("\nThe port was lost: %1.").arg(lostPortWords());
    else if (summary.deviceNotAnswering)
        notes += QStringLiteral("\nThe device is not answering: check the cable and that it is "
                                "switched on.");
    if (!summary.failed.isEmpty())
        notes += QStringLiteral("\n%1 could not be done.")
                     .arg(plan::objectsText(int(summary.failed.size())));
    return notes;
}

}  // namespace

TableOperations::TableOperations(QWidget &window, MSComm &comm, StatusLine &status,
                                 ValueRecorder &recorder, Boxes &boxes,
                                 std::function<void(DeviceSession *)> divertReplies)
    : m_window(window),
      m_comm(comm),
      m_status(status),
      m_recorder(recorder),
      m_boxes(boxes),
      m_divertReplies(std::move(divertReplies)),
      m_profileLabel(new QToolButton(&status)) {
    // A button, not a label: the status line's own labels share its width between them.
    // Pressed, it chooses the profile as File ▸ Profile… does.
    m_profileLabel->setObjectName(QStringLiteral("profileLabel"));
    m_profileLabel->setAutoRaise(true);
    m_profileLabel->setFocusPolicy(Qt::NoFocus);
    m_profileLabel->setMaximumWidth(240);
    connect(m_profileLabel, &QToolButton::clicked, this, &TableOperations::chooseProfile);
    m_profileLabel->hide();
    status.addPermanentWidget(m_profileLabel);
    // The profile chosen last, when it still serves; one that no longer does is not used,
    // and the status line says so.
    const QString path = settings().value(kProfileKey).toString();
    if (path.isEmpty()) return;
    if (const auto profile = usableProfile(path)) {
        useProfile(path, *profile);
    } else {
        m_profileLabel->setText(QStringLiteral("Profile: none (%1 does not serve)")
                                    .arg(QDir::toNativeSeparators(path)));
        m_profileLabel->show();
    }
}

TableOperations::~TableOperations() = default;

void TableOperations::saveTable() {
    const Table &table = m_recorder.valuesRead();
    if (table.objects.empty() && table.settings.empty()) {
        m_boxes.messageBox(QStringLiteral("Nothing has been read yet: read objects first (Read, "
                                         "or Device, Compare with table)."));
        return;
    }
    const std::optional<QString> path =
        m_boxes.saveFileDialog({QStringLiteral("Save table"), kTableFilter, 1});
    if (!path) return;
    Table named = table;
    named.profileName = m_profile.name();
    named.profileVersion = m_profile.version();
    if (const auto saved = orvel::saveTable(*path, named); !saved) {
        m_boxes.messageBox(plan::saveProblem(*path, saved.failure()), Dialogs::Icon::Exclamation);
        return;
    }
    m_status.showNote(
        QStringLiteral("%1 saved to %2").arg(plan::objectsText(int(table.objects.size())), *path));
}

void TableOperations::chooseProfile() {
    if (m_session) {
        m_boxes.messageBox(QStringLiteral("A table operation is under way: choose the profile "
                                          "once it has ended."));
        return;
    }
    const std::optional<QString> path =
        m_boxes.openFileDialog({QStringLiteral("Profile"), kProfileFilter, 1});
    if (!path) return;
    const auto profile = usableProfile(*path);
    if (!profile) {
        m_boxes.messageBox(profile.words(), Dialogs::Icon::Exclamation);
        return;
    }
    useProfile(*path, *profile);
    settings().setValue(kProfileKey, *path);
}

void TableOperations::useProfile(const QString &path, const Profile &profile) {
    m_profile = profile;
    m_profileLabel->setText(profileText(profile));
    m_profileLabel->setToolTip(QDir::toNativeSeparators(path));
    m_profileLabel->show();
}

// A table saved under another profile is said before anything starts; a Restore of values
// the profile does not allow is refused before anything is sent.
bool TableOperations::mayUse(const Table &table, Step step) {
    if (const QString mismatch = plan::profileMismatch(table, m_profile);
        !mismatch.isEmpty() && !m_boxes.question(mismatch + QStringLiteral("\n\nGo on?")))
        return false;
    if (step == Step::Compare) return true;
    const std::vector<plan::OutOfRange> refused = plan::outOfRange(table, m_profile);
    if (refused.empty()) return true;
    m_boxes.messageBox(
        QStringLiteral("The table holds %1 the profile %2 does not allow: nothing is sent.\n\n%3")
            .arg(refused.size() == 1 ? QStringLiteral("1 value")
                                     : QStringLiteral("%1 values").arg(refused.size()),
                 m_profile.name(), plan::outOfRangeLines(refused, m_profile).join(u'\n')),
        Dialogs::Icon::Exclamation);
    return false;
}

// The rows of `list`, with the profile's names and meanings after the numbers when one is
// in use; `kept` follows the table's value of each.
QList<QStringList> TableOperations::namedRows(const std::vector<Difference> &list,
                                              const QString &kept) {
    QList<QStringList> rows;
    for (const Difference &d : list) {
        QStringList row{QString::number(d.object), QString::number(d.device),
                        QString::number(d.file) + kept};
        if (!m_profile.name().isEmpty()) row += plan::namedColumns(d, m_profile);
        rows.append(row);
    }
    return rows;
}

void TableOperations::showNamedResult(const QString &text, const QList<QStringList> &rows,
                                      const std::vector<Difference> &list) {
    if (!m_dialog) return;
    if (m_profile.name().isEmpty()) return m_dialog->showResult(text, rows);
    OperationDialog::Names names{
        {QStringLiteral("Name"), QStringLiteral("Device means"), QStringLiteral("Table means")},
        {},
        m_profile.groups()};
    for (const Difference &d : list) names.rowGroups.append(m_profile.group(d.object));
    m_dialog->showResult(text, rows, names);
}

std::optional<Table> TableOperations::chooseTable(const QString &title) {
    const std::optional<QString> path = m_boxes.openFileDialog({title, kTableFilter, 1});
    if (!path) return std::nullopt;
    auto table = plan::usableTable(*path);
    if (!table) {
        m_boxes.messageBox(table.words(), table.why() == plan::TableUnfit::Empty
                                              ? Dialogs::Icon::None
                                              : Dialogs::Icon::Exclamation);
        return std::nullopt;
    }
    return std::move(*table);
}

void TableOperations::compare() { readTable(Step::Compare, QStringLiteral("Compare with table")); }

void TableOperations::restore() { readTable(Step::RestoreRead, QStringLiteral("Restore table")); }

// Both begin alike: a table chosen, and every object it holds read fresh from the device.
void TableOperations::readTable(Step step, const QString &title) {
    if (m_session) return;
    const std::optional<Table> table = chooseTable(title);
    if (!table || !mayUse(*table, step)) return;
    m_table = *table;
    start(step, plan::readJob(m_table));
}

void TableOperations::start(Step step, const Job &job) {
    m_step = step;
    m_portLost = false;
    m_closeWhenDone = false;
    ++m_run;
    if (step != Step::RestoreWrite) m_read.clear();
    m_session = new DeviceSession(
        [this](char byte) {
            if (const Done<PortFailure> sent = m_comm.Output(byte); !sent)
                m_status.showProblem(portFailureText(sent.failure(), m_comm.target()));
        },
        this);
    connect(m_session, &DeviceSession::valueArrived, this,
            [this](int object, quint8 value, DeviceSession::ValueKind kind) {
                onValue(object, value, int(kind));
            });
    // A write is journaled before its value byte goes out; its read-back's line follows.
    connect(m_session, &DeviceSession::written, this, [this](int object, quint8 value) {
        m_recorder.recordValue(QStringLiteral("restore-write"), object, value, false);
        m_recorder.flushJournal();
    });
    connect(m_session, &DeviceSession::finished, this, &TableOperations::finished);
    // Nothing more can come: the object under way is given up, and the ending says why.
    connect(m_comm.backend(), &SerialBackend::portLost, m_session,
            [this, session = m_session] {
                m_portLost = true;
                session->stop();  // ended already: nothing
            });
    const QString title = step == Step::Compare ? QStringLiteral("Compare with table")
                                                : QStringLiteral("Restore table");
    // The result of an operation before is done with: its dialog would show this one's
    // progress without a Stop button, and save this one's differences.
    if (m_dialog && step != Step::RestoreWrite) {
        m_dialog->close();
        m_dialog = nullptr;
    }
    if (!m_dialog) {
        m_dialog = new OperationDialog(title, &m_window);
        connect(m_dialog, &OperationDialog::saveClicked, this, &TableOperations::saveDifferences);
        m_dialog->show();
    }
    connect(m_dialog, &OperationDialog::stopClicked, m_session, &DeviceSession::stop);
    connect(m_session, &DeviceSession::progress, m_dialog, &OperationDialog::showProgress);
    m_divertReplies(m_session);
    m_status.startTransfer(
        step == Step::Compare ? QStringLiteral("Compare") : QStringLiteral("Restore"), job.size());
    // A session of its own: no job of another is under way in it to refuse this one.
    const auto started = m_session->start(job);
    Q_ASSERT(started);
}

void TableOperations::onValue(int object, quint8 value, int kind) {
    m_read[object] = value;
    if (kind == int(DeviceSession::ValueKind::Read)) {
        m_recorder.recordValue(m_step == Step::Compare ? QStringLiteral("compare")
                                                   : QStringLiteral("restore-read"),
                           object, value);
    } else {
        m_recorder.recordValue(QStringLiteral("restore-verify"), object, value);
    }
    m_status.objectDone(object);
}

void TableOperations::finished(const JobSummary &summary) {
    m_divertReplies(nullptr);
    m_session->deleteLater();
    m_session = nullptr;
    m_status.endTransfer();
    // A question about closing asked during this run is about nothing now: it goes before
    // any box of the ending can open.
    dropCloseQuestion();
    const bool closing = std::exchange(m_closeWhenDone, false);
    switch (m_step) {
    case Step::Compare: showDifferences(summary); break;
    case Step::RestoreRead: askToWrite(summary, closing); break;
    case Step::RestoreWrite: showRestoreSummary(summary); break;
    }
    // The window waited for the object under way: the device is idle, the journal complete.
    if (closing) QMetaObject::invokeMethod(&m_window, &QWidget::close, Qt::QueuedConnection);
}

bool TableOperations::mayClose() {
    if (!m_session) return true;
    askToClose();
    return false;
}

// The question opens and the device goes on being answered; the answer applies only to the
// run it was asked about.
void TableOperations::askToClose() {
    if (m_closeWhenDone) return;  // stopping already, to close
    if (m_closeQuestion) {
        m_closeQuestion->raise();
        m_closeQuestion->activateWindow();
        return;
    }
    auto *box = new QMessageBox(
        QMessageBox::Question, Dialogs::kTitle,
        QStringLiteral("%1 is under way. Stop it once the object under way is done, and then "
                       "close?")
            .arg(m_step == Step::Compare ? QStringLiteral("Compare with table")
                                         : QStringLiteral("Restore table")),
        QMessageBox::Yes | QMessageBox::No, &m_window);
    box->setObjectName(QStringLiteral("closeQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this, run = m_run](int answer) {
        m_closeQuestion = nullptr;  // it closes itself
        if (answer != QMessageBox::Yes || run != m_run || !m_session) return;
        m_closeWhenDone = true;
        m_session->stop();
    });
    m_closeQuestion = box;
    box->open();
}

void TableOperations::dropCloseQuestion() {
    if (!m_closeQuestion) return;
    m_closeQuestion->disconnect(this);
    m_closeQuestion->close();
    m_closeQuestion = nullptr;
}

void TableOperations::showDifferences(const JobSummary &summary) {
    m_differences = differences(m_table, m_read);
    const QString text = plan::comparisonText(summary.read, int(m_differences.size()),
                                              int(m_table.objects.size()));
    showNamedResult(text + endNotes(summary, m_portLost), namedRows(m_differences),
                    m_differences);
}

// Kept: differing objects the profile marks read-only or keep, compared but never written.
void TableOperations::askToWrite(const JobSummary &summary, bool closing) {
    m_differences = differences(m_table, m_read);
    const plan::RestoreSplit split = plan::splitForRestore(m_differences, m_profile);
    m_kept = split.kept;
    const QString kept =
        m_kept.empty() ? QString()
                       : QStringLiteral("\nKept: %1, which the profile marks read-only or keep.")
                             .arg(plan::objectsText(int(m_kept.size())));
    if (closing || summary.stopped || summary.deviceNotAnswering || split.toWrite.empty()) {
        const QString text = m_differences.empty() && !summary.stopped && !closing
                                 ? QStringLiteral("The device already holds the table's values: "
                                                  "nothing is written.")
                                 : QStringLiteral("Nothing is written.");
        showNamedResult(text + endNotes(summary, m_portLost) + kept,
                        namedRows(m_kept, QStringLiteral(" (kept)")), m_kept);
        return;
    }
    const qsizetype count = split.toWrite.size();
    const QString what = m_kept.empty() ? (count == 1 ? QStringLiteral("it") : QStringLiteral("them"))
                         : count == 1   ? QStringLiteral("the other one")
                                        : QStringLiteral("the other %1").arg(count);
    const bool yes = m_boxes.question(
        QStringLiteral("%1 of the %2 read %3 from the table.%4\n\nWriting %5, each "
                       "read back at once, takes %6. Write %5 now?")
            .arg(m_differences.size())
            .arg(plan::objectsText(int(m_read.size())))
            .arg(m_differences.size() == 1 ? QStringLiteral("differs") : QStringLiteral("differ"))
            .arg(endNotes(summary, m_portLost) + kept)
            .arg(what)
            .arg(approximateText(plan::writeTime(summary.elapsed, summary.done, int(count)))));
    if (!yes) {
        if (m_dialog) m_dialog->showResult(QStringLiteral("Nothing is written."), {});
        return;
    }
    start(Step::RestoreWrite, plan::writeJob(split.toWrite));
}

void TableOperations::showRestoreSummary(const JobSummary &summary) {
    QList<QStringList> rows;
    std::vector<Difference> listed;
    for (const ObjectResult &failed : summary.failed) {
        const Difference d{failed.object, failed.value.value_or(0), m_table.objects[failed.object]};
        QStringList row{QString::number(failed.object),
                        failed.value ? QString::number(*failed.value) : QStringLiteral("-"),
                        QString::number(d.file) + QStringLiteral(" (") +
                            plan::reasonText(failed.reason) + u')'};
        if (!m_profile.name().isEmpty()) {
            row += plan::namedColumns(d, m_profile);
            if (!failed.value) row[4].clear();
        }
        rows.append(row);
        listed.push_back(d);
    }
    rows += namedRows(m_kept, QStringLiteral(" (kept)"));
    listed.insert(listed.end(), m_kept.begin(), m_kept.end());
    JobSummary notes = summary;
    notes.failed.clear();  // counted in the first line
    QString text = QStringLiteral("Written: %1, verified: %2, failed: %3.")
                       .arg(summary.written)
                       .arg(summary.verified)
                       .arg(summary.failed.size());
    if (!m_kept.empty())
        text += QStringLiteral(" Kept: %1 (read-only or keep in the profile).").arg(m_kept.size());
    showNamedResult(text + endNotes(notes, m_portLost), rows, listed);
}

void TableOperations::saveDifferences() {
    const std::optional<QString> path =
        m_boxes.saveFileDialog({QStringLiteral("Save differences"), kDifferencesFilter, 1});
    if (!path) return;
    // Whole, private and only over a regular file of the user's, as a table is saved.
    if (const auto saved = writeWhole(*path, differencesText(m_differences)); !saved) {
        m_boxes.messageBox(QStringLiteral("%1 could not be saved: %2")
                               .arg(QDir::toNativeSeparators(*path), saved.words()),
                           Dialogs::Icon::Exclamation);
        return;
    }
    m_status.showNote((m_differences.size() == 1 ? QStringLiteral("1 difference saved to %2")
                                                 : QStringLiteral("%1 differences saved to %2"))
                          .arg(m_differences.size())
                          .arg(QDir::toNativeSeparators(*path)));
}

}  // namespace orvel
