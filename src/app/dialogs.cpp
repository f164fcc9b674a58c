#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace orvel {

void QtDialogs::message(QWidget *parent, const QString &title, const QString &text,
                        Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    // A path or a port's name in it can be copied.
    if (title != kOldTitle) box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.exec();
}

void QtDialogs::about(QWidget *parent, const QString &title, const QString &text) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (parent) box.setIconPixmap(parent->windowIcon().pixmap(64));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtDialogs::openFile(QWidget *parent, const OpenFileRequest &request) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is taken, as typed; a file that is not there fails to open later.
    dialog.setFileMode(QFileDialog::AnyFile);
    // Each type shows its description as given; the patterns are read from a last
    // parenthesis that is not shown (see fileDialogFilters).
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = fileDialogFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::saveFile(QWidget *parent, const OpenFileRequest &request) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setNameFilters(fileDialogFilters(request.filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool QtDialogs::question(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QStringList fileDialogFilters(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the last parentheses and, hiding the details,
        // shows what stands before them: the description.
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        // *.* means every file, as on the systems the filters come from; here a name
        // need not have a dot.
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        }
        filters.append(QStringLiteral("%1 (%2)").arg(parts.at(i), patterns.join(u' ')));
    }
    return filters;
}

}  // namespace orvel
