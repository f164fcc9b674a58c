#include "tableops/operationdialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "table/restoreplan.h"

namespace orvel {

OperationDialog::OperationDialog(const QString &title, QWidget *parent)
    : QDialog(parent),
      m_text(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_rows(new QTableWidget(0, 3, this)),
      m_group(new QComboBox(this)),
      m_stop(new QPushButton(QStringLiteral("&Stop"), this)),
      m_save(new QPushButton(QStringLiteral("&Save differences…"), this)),
      m_close(new QPushButton(QStringLiteral("&Close"), this)) {
    setObjectName(QStringLiteral("operationDialog"));
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setText(QStringLiteral("Starting…"));  // never an empty line, for a screen reader too
    m_rows->setHorizontalHeaderLabels(
        {QStringLiteral("Object"), QStringLiteral("Device"), QStringLiteral("Table")});
    m_rows->verticalHeader()->hide();
    m_rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rows->setTabKeyNavigation(false);  // Tab goes on to the buttons; arrows move inside
    m_rows->hide();
    m_group->hide();
    m_group->setAccessibleName(QStringLiteral("Group shown"));
    m_bar->setAccessibleName(QStringLiteral("Objects done"));
    m_rows->setAccessibleName(QStringLiteral("Differences"));
    // Enter presses Stop while the operation runs, Close after; Escape does as Stop.
    m_stop->setDefault(true);
    m_save->hide();
    m_close->hide();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *button : {m_save, m_stop, m_close}) buttons->addWidget(button);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_group);
    layout->addWidget(m_rows);
    layout->addLayout(buttons);
    connect(m_stop, &QPushButton::clicked, this, &OperationDialog::stop);
    connect(m_save, &QPushButton::clicked, this, &OperationDialog::saveClicked);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_group, &QComboBox::currentIndexChanged, this, &OperationDialog::filter);
    resize(420, 160);
}

void OperationDialog::stop() {
    m_stop->setEnabled(false);
    m_text->setText(QStringLiteral("Stopping: the object under way is finished first…"));
    emit stopClicked();
}

void OperationDialog::reject() {
    if (m_stop->isHidden()) {
        QDialog::reject();
        return;
    }
    if (m_stop->isEnabled()) stop();
}

void OperationDialog::showProgress(int done, int total) {
    m_bar->setRange(0, total);
    m_bar->setValue(done);
    if (m_stop->isEnabled())
        m_text->setText(QStringLiteral("%1 of %2 done.").arg(done).arg(plan::objectsText(total)));
}

void OperationDialog::showResult(const QString &text, const QList<QStringList> &rows,
                                 const Names &names) {
    m_text->setText(text);
    m_bar->hide();
    m_stop->hide();
    m_close->show();
    m_close->setDefault(true);
    if (rows.isEmpty()) return;
    const int columns = 3 + int(names.columns.size());
    if (columns > 3) {
        m_rows->setColumnCount(columns);
        m_rows->setHorizontalHeaderLabels(
            QStringList{QStringLiteral("Object"), QStringLiteral("Device"),
                        QStringLiteral("Table")} +
            names.columns);
    }
    m_rows->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns && c < rows[r].size(); ++c)
            m_rows->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    m_names = names;
    if (!names.groups.isEmpty()) {
        m_group->addItem(QStringLiteral("All groups"));
        m_group->addItems(names.groups);
        m_group->show();
    }
    m_rows->show();
    m_save->show();
    resize(columns > 3 ? 640 : 420, 360);
}

// Only the rows of the group chosen; the first entry shows them all.
void OperationDialog::filter(int group) {
    const QString chosen = group > 0 ? m_names.groups.value(group - 1) : QString();
    for (int r = 0; r < m_rows->rowCount(); ++r)
        m_rows->setRowHidden(r, group > 0 && m_names.rowGroups.value(r) != chosen);
}

QString OperationDialog::resultText() const { return m_text->text(); }

}  // namespace orvel
