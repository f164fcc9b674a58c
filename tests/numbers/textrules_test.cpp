#include "numbers/textrules.h"
#include "support/formfixture.h"

#include <QLocale>

#include <cfenv>
#include <clocale>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace orvel;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

QString q(const std::string &s) { return QString::fromStdString(s); }

TEST(TextRules, IsNumeric) {
    const std::vector<QString> numeric = {" 12 ", "\t7\t", "+3", "-5", "1E3", "1e+3", "1e-3",
                                          "1.", ".5", "-.5", "0", "007", "1.5E3"};
    const std::vector<QString> notNumeric = {
        "", "   ", "1e", "1e+", "e3", ".", "-", "+", "+-3", ".e3", "1.2.3", "12abc", "abc",
        "1 2", "1e 3", "1,5", "1.000,5", "0x10", "1e3.5",
        "5\n", "\r5",  // only blanks and tabs are trimmed
        QString(QChar(0x0663)), QString(QChar(0xFF15)),  // Arabic-Indic three, full-width five
        QStringLiteral("5") + QChar(0),                  // a NUL is a character like any other
        QString(QChar(0x00A0)) + QChar(u'5'),            // a no-break space is no blank
    };
    for (const QString &text : numeric) EXPECT_TRUE(isNumeric(text)) << text.toStdString();
    for (const QString &text : notNumeric) EXPECT_FALSE(isNumeric(text)) << text.toStdString();
}

// The program runs under the user's locale, whose decimal separator may be a comma: these
// run under a German one (or another with a comma, where there is one).
TEST(TextRules, ValueOfAndNumberText) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_ALL, name)) break;
    QLocale::setDefault(QLocale::German);
    const std::vector<std::pair<QString, double>> rows = {
        {" 1 2 ", 12}, {"1\t2\n3", 123}, {"\n\t 5", 5}, {"- 3", -3}, {"1 e 3", 1000}, {"1e", 1},
        {"1e+", 1}, {"1e-2", 0.01}, {"1.2.3", 1.2}, {"12abc", 12}, {"abc", 0}, {"", 0}, {".", 0},
        {"-", 0}, {"--3", 0}, {"+-3", 0}, {"-.5", -0.5}, {"+3", 3}, {"1E3", 1000}, {"2.50", 2.5},
        {"007", 7}, {"8175.5", 8175.5},
        {"\r5", 0}, {"5\r7", 5},  // a carriage return is not one of the ignored characters
        {"1,5", 1},               // C forms only: a comma ends the number
        {"1E999", inf}, {"-1E999", -inf}, {"1E-999", 0},
        {q("1" + std::string(4999, '0')), inf}, {q(std::string(5000, '0') + "5"), 5},
        {q("0." + std::string(5000, '0') + "1"), 0}, {q("1" + std::string(5000, ' ') + "2"), 12},
    };
    for (const auto &[text, value] : rows)
        EXPECT_EQ(valueOf(text), value) << '"' << text.left(40).toStdString() << '"';
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
