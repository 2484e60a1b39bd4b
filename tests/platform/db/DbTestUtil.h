#pragma once
// Helpers of the database tests: temporary folders, files, and the
// independent tools (ogr2ogr, ogrinfo, dbfcreate, dbfadd, sqlite3).
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The bytes the program's allocations hold now, read before and after an
// operation to bound what it keeps. Under AddressSanitizer its allocator
// answers (freed memory it holds back does not count).
#if defined(__SANITIZE_ADDRESS__)
#define KZ_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KZ_TEST_ASAN 1
#endif
#endif
#ifdef KZ_TEST_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // the sanitizer's runtime
inline std::int64_t HeapBytes() { return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes()); }
#else
#include <malloc.h>
inline std::int64_t HeapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<std::int64_t>(m.uordblks + m.hblkhd);
}
#endif

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

#define REQUIRE_TOOL(name) \
    if (!HaveTool(QStringLiteral(name))) GTEST_SKIP() << name " is not installed"

// Runs a tool; fails the test when it does not end with status 0.
inline QByteArray RunTool(const QString& program, const QStringList& args, const QByteArray& input = QByteArray()) {
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(u' ').toStdString() << "\n"
                               << p.readAllStandardError().toStdString();
    return out;
}

inline void WriteBytes(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

inline QByteArray ReadBytes(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

// One feature of ogrinfo -al: field name -> value text ("(null)" for null).
using TOgrFeature = std::map<QString, QString>;

inline std::vector<TOgrFeature> OgrInfoFeatures(const QString& file) {
    const QString out = QString::fromUtf8(RunTool(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), QStringLiteral("-q"), file}));
    std::vector<TOgrFeature> features;
    for (const QString& line : out.split(u'\n')) {
        if (line.startsWith(QStringLiteral("OGRFeature("))) {
            features.emplace_back();
            continue;
        }
        if (features.empty() || !line.startsWith(QStringLiteral("  "))) continue;
        const int paren = line.indexOf(QStringLiteral(" ("));
        const int eq = line.indexOf(QStringLiteral(") = "));
        if (paren < 0 || eq < 0) continue;
        features.back()[line.mid(2, paren - 2).trimmed().toUpper()] = line.mid(eq + 4);
    }
    return features;
}

// Makes a .dbf from CSV text (and CSVT types) with ogr2ogr.
inline QString MakeDbfWithOgr(const QString& folder, const QString& name, const QByteArray& csv, const QByteArray& csvt,
                              const QString& encoding = QStringLiteral("CP1252")) {
    const QString csvName = folder + u'/' + name + QStringLiteral("_src.csv");
    WriteBytes(csvName, csv);
    WriteBytes(folder + u'/' + name + QStringLiteral("_src.csvt"), csvt);
    const QString dbf = folder + u'/' + name + QStringLiteral(".dbf");
    RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("ESRI Shapefile"), QStringLiteral("-lco"),
                                        QStringLiteral("ENCODING=") + encoding, QStringLiteral("-nln"), name, dbf, csvName});
    return dbf;
}
