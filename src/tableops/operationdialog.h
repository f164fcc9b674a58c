#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace orvel {

// What a table operation shows while it runs (the objects done and a Stop button) and
// what it found at its end (a text, a table of rows, and a button to save them). It does
// not block the window: the device goes on being answered while it is open.
class OperationDialog final : public QDialog {
    Q_OBJECT
public:
    explicit OperationDialog(const QString &title, QWidget *parent);

    void showProgress(int done, int total);
    // What a profile adds to the rows: columns after the first three, each row's group, and
    // the groups to filter by (none: no filter shown).
    struct Names {
        QStringList columns;
        QStringList rowGroups;
        QStringList groups;
    };
    // The end: the text, and the rows (object, device value, file value, and the columns of
    // `names`) when there are any.
    void showResult(const QString &text, const QList<QStringList> &rows, const Names &names = {});
    QString resultText() const;
    // Closing it while the operation runs stops the operation, as Stop does: the dialog
    // stays to show where it stopped.
    void reject() override;

signals:
    void stopClicked();
    void saveClicked();

private:
    void stop();
    void filter(int group);

    QLabel *m_text;
    QProgressBar *m_bar;
    QTableWidget *m_rows;
    QComboBox *m_group;
    Names m_names;
    QPushButton *m_stop;
    QPushButton *m_save;
    QPushButton *m_close;
};

}  // namespace orvel
