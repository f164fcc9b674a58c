// The text rules against an independent reading: isNumeric against a regular
// expression, valueOf against strtod in the C locale, and the whole-number rounding.
//
// Input: the first byte picks how the rest becomes a text: Latin-1 (one byte, one
// character) or raw UTF-16, so that non-ASCII digits, blanks and signs come up too.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "numbers/textrules.h"
#include "reference.h"

namespace {

using namespace orvel::fuzz;

QString textOf(const std::uint8_t *data, size_t size) {
    if (size == 0) return {};
    const bool utf16 = data[0] & 1;
    ++data, --size;
    if (!utf16) return QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    QString text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.append(QChar(char16_t(data[i] | data[i + 1] << 8)));
    return text;
}

void checkRounding(double v) {
    const std::optional<std::int64_t> r = orvel::roundHalfEven(v);
    if (!std::isfinite(v) || std::fabs(v) > 9007199254740992.0) {
        check(!r);
        return;
    }
    check(r.has_value());
    const std::optional<std::int64_t> expected = refAddressOf(v);
    check(expected && *r == *expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    if (size > 4096) return -1;  // the rules are linear; long texts add nothing
    const QString text = textOf(data, size);
    const std::string plain = ascii(text);

    const bool numeric = orvel::isNumeric(text);
    check(numeric == refIsNumeric(plain));

    const double value = orvel::valueOf(text);
    check(!std::isnan(value));
    check(sameDouble(value, refValueOf(plain)));

    checkRounding(value);
    if (std::isfinite(value)) {
        // The text a number is shown as reads back as a number.
        const QString shown = orvel::numberText(value);
        check(!shown.startsWith(u' '));
        check(orvel::isNumeric(shown));
        check(refIsNumeric(ascii(shown)));
    }
    // Halves, whatever the text made of them.
    checkRounding(std::floor(value) + 0.5);
    return 0;
}
