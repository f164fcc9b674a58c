#pragma once

#include <QString>
#include <QStringView>

namespace orvel {

// The terminal's text as the dialogue counts it: a line break is the two characters
// CR LF. Kept apart from the widget so the rules stay pure and cheap.
class TerminalText {
public:
    static constexpr qsizetype kLimit = 16000;  // more than this before an addition: trim
    static constexpr qsizetype kDrop = 4096;    // the oldest characters dropped at once

    const QString &text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }
    void clear() { m_text.clear(); }

    // Appends an already filtered text, first dropping the oldest kDrop characters when
    // the terminal holds more than kLimit. Returns how many characters were dropped.
    qsizetype append(QStringView filtered);
    // The same for a text not yet filtered: filtered straight into the terminal's text.
    qsizetype appendFiltering(QStringView text);

private:
    qsizetype trim();

    QString m_text;
};

// The line-end filter: every line feed removed, then a line feed put after every
// carriage return, so each CR becomes CR LF.
QString filterLineEnds(QStringView text);
// The same, appended to `out` (no text of its own).
void appendLineEndsFiltered(QString &out, QStringView text);

// Whether a reply is shown and as what, given the object the dialogue now stands at.
// Returns false when nothing is shown; otherwise `shown` holds the text to filter and add.
bool gateReply(double currentObject, bool onlyData, QString &text);

}  // namespace orvel
