#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <string>

// Reads the object numbers of an object number file: 8-bit text, one byte one
// character, items separated by commas and line ends (CR LF, lone CR, lone LF).
namespace orvel {

class OnfParser {
public:
    // An item longer than this is dropped while it is read, so a file without
    // separators cannot make us hold it whole.
    static constexpr qsizetype defaultMaxItemBytes = 16 * 1024 * 1024;

    explicit OnfParser(qsizetype maxItemBytes = defaultMaxItemBytes) : m_maxItemBytes(maxItemBytes) {}

    // Feeds the next bytes of the file; accepted entries are appended to `out`.
    void feed(QByteArrayView bytes, QStringList &out);
    // The end of the file: the last item (without a line end) is finished.
    // The parser is then ready for another file.
    void finish(QStringList &out);

private:
    enum class State {
        BeforeItem,  // skipping the blanks in front of an item
        Plain,       // inside an unquoted item
        Quoted,      // between the quotes of a quoted item
        AfterQuote,  // past the closing quote, waiting for the separator
    };

    bool fits(qsizetype extra);
    void appendPlain(const char *begin, const char *end);
    void append(const char *begin, const char *end);
    void endItem(QStringList &out);

    qsizetype m_maxItemBytes;
    State m_state = State::BeforeItem;
    std::string m_item;             // the item so far, without its leading blanks
    qsizetype m_pendingBlanks = 0;  // blanks after the last non-blank of a plain item
    bool m_tooLong = false;
    QString m_text;                 // reused for the numeric test, to spare an allocation per item
};

// The accepted entries of a whole file.
QStringList parseObjectNumbers(QByteArrayView wholeFile);

}  // namespace orvel
