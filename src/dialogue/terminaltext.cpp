#include "dialogue/terminaltext.h"

#include "numbers/objects.h"

namespace orvel {

qsizetype TerminalText::append(QStringView filtered) {
    qsizetype dropped = 0;
    if (m_text.size() > kLimit) {
        dropped = kDrop;
        m_text.remove(0, kDrop);
    }
    m_text.append(filtered);
    return dropped;
}

QString filterLineEnds(QStringView text) {
    QString out;
    out.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\n') continue;
        out.append(c);
        if (c == u'\r') out.append(u'\n');
    }
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
