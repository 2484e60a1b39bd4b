// The locale of the numbers people read and type: the environment's, or
// Brazilian Portuguese where the environment names none; and what a typed
// number means in it.
#include <gtest/gtest.h>

#include <cmath>

#include "core/UserNumbers.h"

TEST(UserNumbersTest, TheEnvironmentsLocaleElseBrazilianPortuguese) {
    for (const char* none : {"", "C", "C.UTF-8", "POSIX"})
        EXPECT_EQ(UserLocaleFor(QLocale(QString::fromLatin1(none))).name(), QStringLiteral("pt_BR")) << none;
    for (const char* named : {"pt_BR.UTF-8", "en_US.UTF-8", "de_DE"})
        EXPECT_EQ(UserLocaleFor(QLocale(QString::fromLatin1(named))).name(),
                  QString::fromLatin1(named).section(u'.', 0, 0)) << named;

    const QLocale environment;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(UserNumber(8564227.6567745), QStringLiteral("8.564.227,6567745"));
    EXPECT_EQ(UserFixed(1274.754, 2, dgPlain), QStringLiteral("1274,75"));
    EXPECT_EQ(UserExactNumber(552123.456789), QStringLiteral("552123,456789"));
    EXPECT_EQ(UserInteger(16000000000), QStringLiteral("16.000.000.000"));
    double v = -1;
    for (const auto& [text, want] : {std::pair{"5.000", 5000.0}, {" 5000 ", 5000.0}, {"2.500,5", 2500.5}, {"0,25", 0.25}}) {
        EXPECT_TRUE(ReadUserNumber(QString::fromLatin1(text), v)) << text;
        EXPECT_EQ(v, want) << text;
    }
    // Text that is no number of the locale leaves the value alone.
    v = 7;
    for (const char* text : {"", "abc", "5.5", "1:5000", "nan", "inf"})
        EXPECT_FALSE(ReadUserNumber(QString::fromLatin1(text), v)) << text;
    EXPECT_EQ(v, 7);
    std::int32_t n = 0;
    EXPECT_TRUE(ReadUserInteger(u"1.000", n));
    EXPECT_EQ(n, 1000);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(ReadUserNumber(u"5.000", v));
    EXPECT_EQ(v, 5);
    EXPECT_EQ(UserNumber(8564227.5), QStringLiteral("8,564,227.5"));
    QLocale::setDefault(environment);
}
