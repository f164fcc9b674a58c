#include "dialogue/terminaltext.h"

#include "numbers/objects.h"

namespace orvel {

qsizetype TerminalText::append(QStringView filtered) {
    const qsizetype dropped = trim();
    m_text.append(filtered);
    return dropped;
}

qsizetype TerminalText::appendFiltering(QStringView text) {
    const qsizetype dropped = trim();
    appendLineEndsFiltered(m_text, text);
    return dropped;
}

qsizetype TerminalText::trim() {
    if (m_text.size() <= kLimit) return 0;
    m_text.remove(0, kDrop);
    return kDrop;
}

void appendLineEndsFiltered(QString &out, QStringView text) {
    for (const QChar c : text) {
        if (c == u'\n') continue;
        out.append(c);
        if (c == u'\r') out.append(u'\n');
    }
}

QString filterLineEnds(QStringView text) {
    QString out;
    out.reserve(text.size() + 4);
    appendLineEndsFiltered(out, text);
    return out;
}

bool gateReply(double currentObject, bool onlyData, QString &text) {
    if (currentObject >= 0 && currentObject <= objects::kLastSetting) {
        if (currentObject == 0 || currentObject >= objects::kFirstSetting) return false;
        if (text == u"172" || text == u"202") {
            if (onlyData) return false;
            text += QStringLiteral("\n\r");
        }
    }
    return true;
}

}  // namespace orvel
