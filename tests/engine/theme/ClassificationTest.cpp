// Class matching against SQL CASE WHEN over the same values in sqlite3.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "core/Errors.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"
#include "engine/theme/Classification.h"

namespace {

void AddClass(TThemeClasses& c, const QString& from, const QString& to) {
    TThemeClass* k = c.GetItem(c.Add(QStringLiteral("C%1").arg(c.GetCount())));
    k->SetFromValue(from);
    k->SetToValue(to);
}

// Runs the SQL in sqlite3; one integer per output line.
std::vector<int> Sqlite(const std::string& sql) {
    QTemporaryDir dir;
    const std::string script = dir.filePath("q.sql").toStdString();
    std::ofstream(script) << sql;
    const std::string cmd = "sqlite3 :memory: < " + script;
    std::vector<int> out;
    FILE* p = popen(cmd.c_str(), "r");
    EXPECT_NE(p, nullptr);
    char line[64];
    while (p && std::fgets(line, sizeof line, p)) out.push_back(std::atoi(line));
    if (p) pclose(p);
    return out;
}

TEST(ClassificationTest, NumericRangesAgreeWithCaseWhen) {
    TThemeClasses classes;
    // Bounds with either decimal separator; overlapping ranges: first wins.
    AddClass(classes, QStringLiteral("0"), QStringLiteral("10,5"));
    AddClass(classes, QStringLiteral("10.5"), QStringLiteral("20"));
    AddClass(classes, QStringLiteral("15"), QStringLiteral("40.25"));
    std::vector<double> values;
    for (int i = -10; i <= 90; ++i) values.push_back(i * 0.5);
    std::ostringstream sql;
    sql.precision(17);
    sql << "CREATE TABLE t(id INTEGER, v REAL);\n";
    for (std::size_t i = 0; i < values.size(); ++i) sql << "INSERT INTO t VALUES(" << i << "," << values[i] << ");\n";
    sql << "SELECT CASE WHEN v BETWEEN 0 AND 10.5 THEN 0 WHEN v BETWEEN 10.5 AND 20 THEN 1 "
           "WHEN v BETWEEN 15 AND 40.25 THEN 2 ELSE -1 END FROM t ORDER BY id;\n";
    const auto expected = Sqlite(sql.str());
    ASSERT_EQ(expected.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(MatchThemeClass(classes, ltValueRange, ftFloat, values[i]), expected[i]) << values[i];
}

TEST(ClassificationTest, StringsAndUniqueValuesAgreeWithCaseWhen) {
    TThemeClasses range;
    AddClass(range, QStringLiteral("A"), QStringLiteral("M"));
    AddClass(range, QStringLiteral("N"), QStringLiteral("Zz"));
    const std::vector<std::string> words = {"B", "a", "M", "MA", "N", "Z", "z", "", "Alto", "moro"};
    std::ostringstream sql;
    sql << "CREATE TABLE t(id INTEGER, v TEXT);\n";
    for (std::size_t i = 0; i < words.size(); ++i) sql << "INSERT INTO t VALUES(" << i << ",'" << words[i] << "');\n";
    // BINARY collation: by character codes, as the layer compares.
    sql << "SELECT CASE WHEN v >= 'A' AND v <= 'M' THEN 0 WHEN v >= 'N' AND v <= 'Zz' THEN 1 ELSE -1 END "
           "FROM t ORDER BY id;\n";
    const auto expected = Sqlite(sql.str());
    ASSERT_EQ(expected.size(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(MatchThemeClass(range, ltValueRange, ftString, QString::fromStdString(words[i])), expected[i])
            << words[i];

    TThemeClasses unique;
    AddClass(unique, QStringLiteral("7"), {});
    AddClass(unique, QStringLiteral("3"), {});
    std::ostringstream q;
    q << "CREATE TABLE t(id INTEGER, v INTEGER);\n";
    for (int i = 0; i < 10; ++i) q << "INSERT INTO t VALUES(" << i << "," << i << ");\n";
    q << "SELECT CASE WHEN v = 7 THEN 0 WHEN v = 3 THEN 1 ELSE -1 END FROM t ORDER BY id;\n";
    const auto e2 = Sqlite(q.str());
    ASSERT_EQ(e2.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(MatchThemeClass(unique, ltUniqueValue, ftInteger, i), e2[i]) << i;
}

TEST(ClassificationTest, EdgeCases) {
    TThemeClasses none;
    EXPECT_EQ(MatchThemeClass(none, ltValueRange, ftFloat, 1.0), -1);  // an empty list is no error

    TThemeClasses bools;
    AddClass(bools, QStringLiteral("True"), {});
    AddClass(bools, QStringLiteral("no"), {});
    // Booleans are matched by unique value whatever the legend type.
    EXPECT_EQ(MatchThemeClass(bools, ltValueRange, ftBoolean, true), 0);
    EXPECT_EQ(MatchThemeClass(bools, ltValueRange, ftBoolean, false), 1);

    TThemeClasses bad;
    AddClass(bad, QStringLiteral("7.5"), {});
    EXPECT_THROW(MatchThemeClass(bad, ltUniqueValue, ftInteger, 7), EConvertError);

    // Percent normalization of 1, 1, 2: 25, 25 and 50; the class 20..30
    // takes the first two.
    TThemeClasses pct;
    AddClass(pct, QStringLiteral("20"), QStringLiteral("30"));
    const double total = 4;
    EXPECT_EQ(MatchThemeClass(pct, ltValueRange, ftInteger, 1, 1 / total * 100), 0);
    EXPECT_EQ(MatchThemeClass(pct, ltValueRange, ftInteger, 2, 2 / total * 100), -1);
    EXPECT_EQ(MatchThemeClass(pct, ltValueRange, ftBlob, 1), -1);

    EXPECT_DOUBLE_EQ(ParseClassBound(QStringLiteral(" 2,5 ")), 2.5);
    EXPECT_DOUBLE_EQ(ParseClassBound(QStringLiteral("2.5")), 2.5);
    EXPECT_THROW(ParseClassBound(QStringLiteral("abc")), EConvertError);
}

}  // namespace
