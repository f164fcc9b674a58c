#include "numbers/textrules.h"
#include "support/formfixture.h"

#include <QLocale>

#include <cfenv>
#include <clocale>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace orvel;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

QString q(const std::string &s) { return QString::fromStdString(s); }

// Whether a text is numeric, and its value. The program runs under the user's locale,
// whose decimal separator may be a comma: these run under a German one (or another with a
// comma, where there is one).
TEST(TextRules, IsNumericValueOfAndNumberText) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_ALL, name)) break;
    QLocale::setDefault(QLocale::German);
    const std::vector<std::tuple<QString, bool, double>> rows = {
        {" 12 ", true, 12}, {"\t7\t", true, 7}, {"+3", true, 3}, {"-5", true, -5},
        {"1e+3", true, 1000}, {"1e-2", true, 0.01}, {"1.", true, 1}, {".5", true, 0.5},
        {"-.5", true, -0.5}, {"0", true, 0}, {"1.5E3", true, 1500},
        {"", false, 0}, {"   ", false, 0}, {".", false, 0}, {"-", false, 0}, {"+", false, 0},
        {"e3", false, 0}, {".e3", false, 0}, {"abc", false, 0}, {"--3", false, 0},
        {"+-3", false, 0}, {"1e", false, 1}, {"1e+", false, 1}, {"1.2.3", false, 1.2},
        {"12abc", false, 12}, {"0x10", false, 0}, {"1e3.5", false, 1000},
        {" 1 2 ", false, 12}, {"1 e 3", false, 1000}, {"- 3", false, -3},  // Val skips blanks
        {"1\t2\n3", false, 123}, {"\n\t 5", false, 5},                    // and line feeds
        {"\r5", false, 0}, {"5\r7", false, 5},  // a carriage return is not one of them
        {"5\n", false, 5},                       // only blanks and tabs are trimmed
        {"1,5", false, 1}, {"1.000,5", false, 1},  // C forms only: a comma ends the number
        {QString(QChar(0x0663)), false, 0},  // an Arabic-Indic three: a digit, not an ASCII one
        {QStringLiteral("5") + QChar(0), false, 5},      // a NUL is a character like any other
        {QString(QChar(0x00A0)) + QChar(u'5'), false, 0},  // a no-break space is no blank
        {"1E999", true, inf}, {"-1E999", true, -inf}, {"1E-999", true, 0},
        {q("1" + std::string(4999, '0')), true, inf}, {q(std::string(5000, '0') + "5"), true, 5},
        {q("0." + std::string(5000, '0') + "1"), true, 0},
        {q("1" + std::string(5000, ' ') + "2"), false, 12},
    };
    for (const auto &[text, numeric, value] : rows) {
        SCOPED_TRACE('"' + text.left(40).toStdString() + '"');
        EXPECT_EQ(isNumeric(text), numeric);
        EXPECT_EQ(valueOf(text), value);
    }
    const std::vector<std::pair<double, QString>> texts = {
        {1, "1"}, {8191, "8191"}, {2.5, "2.5"}, {-3, "-3"}, {-2.5, "-2.5"}, {0, "0"}, {-0.0, "0"},
        {0.1, "0.1"}, {8175.25, "8175.25"}, {123456789012.0, "123456789012"}, {1e20, "1E+20"}};
    for (const auto &[value, text] : texts) EXPECT_EQ(numberText(value), text) << value;
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(TextRules, RoundHalfEven) {
    const std::vector<std::pair<double, std::optional<std::int64_t>>> rows = {
        {2.5, 2}, {3.5, 4}, {0.5, 0}, {1.5, 2}, {-2.5, -2}, {-3.5, -4}, {2.4999, 2}, {2.5001, 3},
        {8175.5, 8176}, {-0.4, 0}, {7, 7}, {9007199254740992.0, 9007199254740992LL},
        {1e300, std::nullopt}, {nan, std::nullopt}, {inf, std::nullopt}, {-inf, std::nullopt}};
    // The caller's rounding mode must neither change the result nor be left changed.
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const auto &[value, rounded] : rows) {
            EXPECT_EQ(roundHalfEven(value), rounded) << value << " mode " << mode;
            EXPECT_EQ(std::fegetround(), mode);
        }
    }
    std::fesetround(FE_TONEAREST);
}

}  // namespace
