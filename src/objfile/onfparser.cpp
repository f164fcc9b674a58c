#include "objfile/onfparser.h"

#include "numbers/objects.h"
#include "numbers/textrules.h"

#include <algorithm>
#include <cmath>

namespace orvel {
namespace {

constexpr double firstObject = 0.0;  // exclusive
constexpr double settingsStart = objects::kFirstSetting;  // exclusive: no settings cell

bool isSeparator(char c) { return c == ',' || c == '\n' || c == '\r'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Buffers of a huge item are given back rather than kept for the rest of the file.
constexpr qsizetype keptCapacity = 64 * 1024;

const char *findSeparator(const char *p, const char *end) {
    return std::find_if(p, end, isSeparator);
}

}  // namespace

bool OnfParser::fits(qsizetype extra) {
    if (m_tooLong) return false;
    if (qsizetype(m_item.size()) + extra > m_maxItemBytes) {
        m_tooLong = true;
        std::string().swap(m_item);
        return false;
    }
    return true;
}

void OnfParser::append(const char *begin, const char *end) {
    if (fits(end - begin)) m_item.append(begin, size_t(end - begin));
}

void OnfParser::appendPlain(const char *begin, const char *end) {
    // Trailing blanks are only counted: they belong to the item only if more text
    // follows, so a number followed by a long run of blanks is not dropped as too long.
    const char *lastText = end;
    while (lastText > begin && isBlank(lastText[-1])) --lastText;
    if (lastText == begin) {
        m_pendingBlanks += end - begin;
        return;
    }
    // Inside a plain item a space and a tab mean the same to the number rules.
    if (m_pendingBlanks > 0 && fits(m_pendingBlanks)) m_item.append(size_t(m_pendingBlanks), ' ');
    append(begin, lastText);
    m_pendingBlanks = end - lastText;
}

void OnfParser::endItem(QStringList &out) {
    const State state = m_state;
    m_state = State::BeforeItem;
    m_pendingBlanks = 0;
    if (m_tooLong) {
        m_tooLong = false;
        return;
    }

    const qsizetype length = qsizetype(m_item.size());
    m_text.resize(length);
    QChar *wide = m_text.data();
    for (qsizetype i = 0; i < length; ++i) wide[i] = QChar(uchar(m_item[size_t(i)]));

    if (isNumeric(m_text)) {
        const double value = valueOf(m_text);
        if (value > firstObject && value < settingsStart) {
            if (state != State::Plain)
                out.append(QString::fromLatin1(m_item.data(), length));
            else if (value == std::floor(value))
                out.append(QString::number(int(value)));  // what numberText gives, several times faster
            else
                out.append(numberText(value));
        }
    }

    m_item.clear();
    if (qsizetype(m_item.capacity()) > keptCapacity) std::string().swap(m_item);
    if (m_text.capacity() > keptCapacity) m_text = QString();
}

void OnfParser::feed(QByteArrayView bytes, QStringList &out) {
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        switch (m_state) {
        case State::BeforeItem:
            if (isBlank(*p)) {
                ++p;
            } else if (isSeparator(*p)) {
                ++p;  // an empty item or a blank line
            } else if (*p == '"') {
                m_state = State::Quoted;
                ++p;
            } else {
                m_state = State::Plain;
            }
            break;
        case State::Plain: {
            const char *stop = findSeparator(p, end);
            appendPlain(p, stop);
            p = stop;
            if (p < end) {
                endItem(out);
                ++p;
            }
            break;
        }
        case State::Quoted: {
            const char *quote = std::find(p, end, '"');
            append(p, quote);
            p = quote;
            if (p < end) {
                m_state = State::AfterQuote;
                ++p;
            }
            break;
        }
        case State::AfterQuote: {
            p = findSeparator(p, end);
            if (p < end) {
                endItem(out);
                ++p;
            }
            break;
        }
        }
    }
}

void OnfParser::finish(QStringList &out) {
    // A quote left open at the end of the file takes the rest of the file as its item.
    if (m_state != State::BeforeItem) endItem(out);
}

QStringList parseObjectNumbers(QByteArrayView wholeFile) {
    QStringList out;
    OnfParser parser;
    parser.feed(wholeFile, out);
    parser.finish(out);
    return out;
}

}  // namespace orvel
