#pragma once

#include <QDialog>

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
    // The end: the text, and the rows (object, device value, file value) when there are any.
    void showResult(const QString &text, const QList<QStringList> &rows);
    QString resultText() const;
    // Closing it while the operation runs stops the operation, as Stop does: the dialog
    // stays to show where it stopped.
    void reject() override;

signals:
    void stopClicked();
    void saveClicked();

private:
    void stop();

    QLabel *m_text;
    QProgressBar *m_bar;
    QTableWidget *m_rows;
    QPushButton *m_stop;
    QPushButton *m_save;
    QPushButton *m_close;
};

}  // namespace orvel
