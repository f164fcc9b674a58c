#pragma once

#include "device/jobresult.h"
#include "profile/profile.h"
#include "table/differences.h"
#include "table/table.h"

#include <QObject>
#include <QPointer>

class QMessageBox;
class QToolButton;

#include <functional>

#include <memory>
#include <vector>

namespace orvel {

class Boxes;
class DeviceSession;
class Job;
class MSComm;
class OperationDialog;
class StatusLine;
class ValueRecorder;

// Save table…, Compare with table… and Restore table…: keeping a device's table, checking a
// device against it, and programming a device like it. Compare and Restore run the device
// client while the window's own Read and Write wait.
class TableOperations final : public QObject {
    Q_OBJECT
public:
    // `window` parents the operation's dialog and is closed when the operator asked to close
    // it during one; `divertReplies` sends the device's replies to a session (or back).
    TableOperations(QWidget &window, MSComm &comm, StatusLine &status, ValueRecorder &recorder,
                    Boxes &boxes, std::function<void(DeviceSession *)> divertReplies);
    ~TableOperations() override;

    void saveTable();
    // File ▸ Profile…: the profile that names objects in Compare and Restore and keeps
    // Restore off the objects it protects; remembered for the next start.
    void chooseProfile();
    const Profile &profile() const { return m_profile; }
    void compare();
    void restore();
    bool running() const { return m_session != nullptr; }
    // Whether the window may close now. While an operation runs the operator is asked,
    // without holding the device, whether to stop it; stopped, it finishes the object under
    // way and closes the window. The question goes when its operation ends.
    bool mayClose();

private:
    enum class Step { Compare, RestoreRead, RestoreWrite };

    std::optional<Table> chooseTable(const QString &title);
    bool mayUse(const Table &table, Step step);
    void useProfile(const QString &path, const Profile &profile);
    QList<QStringList> namedRows(const std::vector<Difference> &list, const QString &kept = {});
    void showNamedResult(const QString &text, const QList<QStringList> &rows,
                         const std::vector<Difference> &list);
    void readTable(Step step, const QString &title);
    void start(Step step, const Job &job);
    void onValue(int object, quint8 value, int kind);
    void finished(const JobSummary &summary);
    void showDifferences(const JobSummary &summary);
    void askToClose();
    void dropCloseQuestion();
    void askToWrite(const JobSummary &summary, bool closing);
    void showRestoreSummary(const JobSummary &summary);
    void saveDifferences();

    QWidget &m_window;
    MSComm &m_comm;
    StatusLine &m_status;
    ValueRecorder &m_recorder;
    Boxes &m_boxes;
    std::function<void(DeviceSession *)> m_divertReplies;
    Step m_step = Step::Compare;
    Table m_table;
    std::map<int, quint8> m_read;  // this operation's fresh values
    std::vector<Difference> m_differences;
    std::vector<Difference> m_kept;  // differing, but the profile protects them
    Profile m_profile;                // a default one names nothing and protects nothing
    QToolButton *m_profileLabel;
    bool m_portLost = false;
    bool m_closeWhenDone = false;  // for this run only
    int m_run = 0;                 // counts the sessions started: an answer names its own
    QPointer<QMessageBox> m_closeQuestion;
    DeviceSession *m_session = nullptr;
    QPointer<OperationDialog> m_dialog;
};

}  // namespace orvel
