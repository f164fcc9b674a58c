#include "app/dialogfont.h"

#include <QApplication>
#include <QFont>

namespace orvel {

void applyDialogFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8);
    QApplication::setFont(font);
}

}  // namespace orvel
