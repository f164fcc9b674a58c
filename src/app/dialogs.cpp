#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace orvel {

void QtDialogs::message(QWidget *parent, const QString &text, Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Orvel prg"));
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.exec();
}

std::optional<QString> QtDialogs::openFile(QWidget *parent, const OpenFileRequest &request) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is taken, as typed; a file that is not there fails to open later.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = fileDialogFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QStringList fileDialogFilters(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the parentheses of the description.
        QString description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        if (!description.contains(u'(')) description += QStringLiteral(" (%1)").arg(patterns);
        filters.append(description);
    }
    return filters;
}

}  // namespace orvel
