// Damaged theme-layer headers, styles and layer files: cut at every byte or
// with bytes changed, each raises the engine's error or reads safely, and a
// failed read leaves the layer as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/objects/Point.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"
#include "tests/support/Reproducers.h"

namespace {

std::string HeaderOf(TThemeLayer& l) {
    TMemoryStream s;
    l.WriteHeader(s);
    return s.ToString();
}

std::string StyleOf(TThemeLayer& l) {
    TMemoryStream s;
    l.WriteStyle(s);
    return s.ToString();
}

void Classes(TThemeLayer& l, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        TThemeClass* c = l.ThemeClasses()->GetItem(l.ThemeClasses()->Add(QString::fromLatin1(n)));
        c->SetFromValue(QStringLiteral("1"));
        c->SetToValue(QStringLiteral("2"));
    }
}

// A layer with settings of its own, to see that a failed read keeps them.
void Before(TThemeLayer& l) {
    l.SetCaption(QStringLiteral("antes"));
    l.SetMinScale(5);
    l.SetLegendType(ltUniqueValue);
    l.SetTableName(QStringLiteral("antes.db"));
    l.Defaults()->SetLineColor(clLime);
    Classes(l, {"X"});
}

void ExpectAsBefore(TThemeLayer& l, std::size_t n) {
    EXPECT_EQ(l.Caption(), QStringLiteral("antes")) << n;
    EXPECT_EQ(l.MinScale(), 5) << n;
    EXPECT_EQ(l.LegendType(), ltUniqueValue) << n;
    EXPECT_EQ(l.TableName(), QStringLiteral("antes.db")) << n;
    EXPECT_EQ(l.Defaults()->LineColor(), clLime) << n;
    ASSERT_EQ(l.ThemeClasses()->GetCount(), 1) << n;
    EXPECT_EQ(l.ThemeClasses()->GetItem(0)->ThemeClassName(), QStringLiteral("X")) << n;
}

struct Source {
    TThemeLayer l;
    Source() {
        l.SetCaption(QStringLiteral("Lotes"));
        l.SetMinScale(1000);
        l.SetMaxScale(50000);
        l.SetLegendType(ltValueRange);
        l.SetClassified(true);
        l.Defaults()->SetLineColor(clRed);
        l.SetTableName(QStringLiteral("lotes.db"));
        Classes(l, {"Alto", "Baixo"});
    }
};

}  // namespace

TEST(ThemeDamage, CutHeadersAndStylesRaiseAndChangeNothing) {
    Source src;
    const std::string header = HeaderOf(src.l);
    const std::string style = StyleOf(src.l);
    // The closing line of the last section is not compared: cut within it,
    // the header reads whole.
    const std::size_t headerEnd = header.size() - std::string("ELAYERTABLE\r\n").size() + 1;
    const std::size_t styleEnd = style.size() - std::string("ETHEMECLASSES\r\n").size() + 1;
    for (std::size_t n = 0; n < headerEnd; ++n) {
        TThemeLayer l;
        Before(l);
        TMemoryStream s(header.substr(0, n));
        EXPECT_THROW(l.ReadHeader(s), EEngineError) << n;
        ExpectAsBefore(l, n);
    }
    for (std::size_t n = 0; n < styleEnd; ++n) {
        TThemeLayer l;
        Before(l);
        TMemoryStream s(style.substr(0, n));
        EXPECT_THROW(l.ReadStyle(s), EEngineError) << n;
        ExpectAsBefore(l, n);
    }
    // Whole, they read back.
    TThemeLayer l;
    TMemoryStream s(header);
    l.ReadHeader(s);
    EXPECT_EQ(l.Caption(), QStringLiteral("Lotes"));
    EXPECT_EQ(l.ThemeClasses()->GetCount(), 2);
}

TEST(ThemeDamage, ChangedBytesNeverCrash) {
    Source src;
    const std::string header = HeaderOf(src.l);
    // Every damaged header reads or raises an engine error (any other
    // exception fails the test), and the damage is noticed somewhere.
    int refused = 0;
    for (std::size_t i = 0; i < header.size(); ++i) {
        for (unsigned char v : {0x00, 0x7F, 0xFF}) {
            std::string b = header;
            b[i] = static_cast<char>(v);
            TThemeLayer l;
            TMemoryStream s(b);
            try {
                l.ReadHeader(s);
            } catch (const EEngineError&) {
                ++refused;
            }
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(ThemeDamage, MissingOrCutStyleFileKeepsTheClasses) {
    QTemporaryDir dir;
    Source src;
    const QString file = dir.filePath(QStringLiteral("estilo.lgc"));
    TThemeLayer l;
    Before(l);
    EXPECT_THROW(l.LoadStyleFromFile(dir.filePath(QStringLiteral("nenhum.lgc"))), EEngineError);
    ExpectAsBefore(l, 0);
    const std::string style = StyleOf(src.l);
    TFileStream f(file, TFileStream::fmCreate);
    f.Write(style.data(), style.size() / 2);
    f.Flush();
    EXPECT_THROW(l.LoadStyleFromFile(file), EEngineError);
    ExpectAsBefore(l, 1);
}

TEST(ThemeDamage, CutLayerFilesRaiseAndChangeNothing) {
    QTemporaryDir dir;
    TThemeLayer src;
    src.SetDatabaseName(dir.path());
    src.SetLayerName(QStringLiteral("lotes.cam"));
    src.SetThemeLayerType(3);
    src.SetProjection(1);
    src.Edit();
    src.Add(std::unique_ptr<TVisualObject>(new TPoint(333000, 7394000)));
    src.Add(std::unique_ptr<TVisualObject>(new TPoint(334000, 7395000)));
    src.InternalPost();
    src.EndEdit();
    TMemoryStream all;
    src.WriteObjects(all);
    const std::string bytes = all.ToString();
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        TThemeLayer l;
        TMemoryStream s(bytes.substr(0, n));
        try {
            l.ReadObjects(s);
            // Only the closing lines of the last record and of the
            // file may be missing.
            EXPECT_GE(n, bytes.size() - 7) << n;
            EXPECT_EQ(l.GetObjectCount(), 2) << n;
        } catch (const EEngineError&) {
            EXPECT_EQ(l.GetObjectCount(), 0) << n;
            EXPECT_EQ(l.ThemeLayerType(), 0) << n;
            EXPECT_EQ(l.Projection(), -1) << n;
        }
    }
}

TEST(ThemeDamage, StoredNextIdAtTheLastIntegerGoesOn) {
    // The Ids are the 32 bits of the counter: past the largest integer they
    // go on in hexadecimal, without an overflow.
    QTemporaryDir dir;
    TThemeLayer empty;
    TMemoryStream out;
    empty.WriteObjects(out);
    std::string bytes = out.ToString();
    const std::int32_t last = 0x7FFFFFFF;
    std::memcpy(bytes.data() + 4, &last, 4);
    TThemeLayer l;
    l.SetDatabaseName(dir.path());
    l.SetLayerName(QStringLiteral("a.cam"));
    TMemoryStream in(bytes);
    l.ReadObjects(in);
    ASSERT_EQ(l.NextId(), last);
    l.Edit();
    l.Add(std::unique_ptr<TVisualObject>(new TPoint(1, 1)));
    l.Add(std::unique_ptr<TVisualObject>(new TPoint(2, 2)));
    EXPECT_EQ(l.GetObject(0)->Id(), QStringLiteral("0000000000007FFFFFFF"));
    EXPECT_EQ(l.GetObject(1)->Id(), QStringLiteral("00000000000080000000"));
    l.InternalCancel();
    l.EndEdit();
}

TEST(ThemeDamage, StoredNegativeFieldIndexIsTheFirstField) {
    // A classification field index below 0 (a damaged header or style) is
    // reset to the first field like one beyond the fields, instead of
    // raising the field list's range error out of the classification.
    QTemporaryDir dir;
    TThemeLayer l;
    l.SetDatabaseName(dir.path());
    l.SetLayerName(QStringLiteral("a.cam"));
    l.SetTableDatabaseName(dir.path());
    l.SetTableName(QStringLiteral("a"));
    l.Table()->AddField(QStringLiteral("VALOR"), ftFloat, false, 0);
    l.CreateLayerFile();
    l.Open();
    ASSERT_TRUE(l.Active());
    l.Edit();
    l.AddObjectWithRecord(std::unique_ptr<TVisualObject>(new TPoint(1, 1)), {2.5});
    l.InternalPost();
    l.EndEdit();

    TMemoryStream base;
    l.TLayer::WriteStyle(base);
    std::string style = StyleOf(l);
    const std::size_t at = static_cast<std::size_t>(base.Size()) + 4;
    const std::int32_t field = -3, percent = -2;
    std::memcpy(style.data() + at, &field, 4);
    ASSERT_EQ(style[at + 4], 0);
    style[at + 4] = 3;  // classified and normalized, by percent of the total
    style.insert(at + 5, reinterpret_cast<const char*>(&percent), 4);
    TMemoryStream in(style);
    l.ReadStyle(in);
    EXPECT_EQ(l.ClassificationFieldIndex(), 0);
    EXPECT_NO_THROW(l.SetClassified(true));
    EXPECT_NO_THROW(l.ClassifyObject(l.GetObject(0)));
}

// A layer file prefix with values no writer produces (a negative type,
// ellipsoid or datum, a UTM zone beyond 0..60, a scale factor that is not
// positive) refuses the layer, with the file's name and what is wrong.
// Values the original could have written stay readable: a system beyond
// the catalogue in force (or an unknown projection) opens with its objects
// and is reported; a next number past the largest integer goes on.
TEST(ThemeDamage, PrefixValuesCheckedOnReading) {
    QTemporaryDir dir;
    {
        TThemeLayer maker;
        maker.SetDatabaseName(dir.path());
        maker.SetLayerName(QStringLiteral("maker.cam"));
        maker.SetTableDatabaseName(dir.path());
        maker.SetTableName(QStringLiteral("lotes"));
        maker.CreateLayerFile();
    }
    const QString path = dir.filePath(QStringLiteral("lotes.cam"));
    auto open = [&](const repro::TPrefix& p, TThemeLayer& layer) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(repro::ThemeLayerFile(p));
        f.close();
        QStringList errors;
        layer.OnError = [&](TLayer&, const QString& m) { errors << m; };
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("lotes.cam"));
        layer.Open();
        return errors;
    };
    repro::TPrefix p;
    p.Table = "lotes";
    const struct {
        repro::TPrefix Prefix;
        const char* Why;
    } refused[] = {{[&] { auto q = p; q.Type = -77; return q; }(), "type -77"},
                   {[&] { auto q = p; q.Zone = 100000; return q; }(), "zone 100000"},
                   {[&] { auto q = p; q.ScaleFactor = -1; return q; }(), "scale factor -1"},
                   {[&] { auto q = p; q.Ellipsoid = -1; return q; }(), "ellipsoid -1"},
                   {[&] { auto q = p; q.Datum = -5; return q; }(), "datum -5"}};
    for (const auto& r : refused) {
        TThemeLayer layer;
        const QStringList errors = open(r.Prefix, layer);
        EXPECT_FALSE(layer.Active()) << r.Why;
        ASSERT_EQ(errors.size(), 1) << r.Why;
        EXPECT_TRUE(errors[0].contains(path) && errors[0].contains(QLatin1StringView(r.Why))) << errors[0].toStdString();
    }
    for (const auto& [prefix, why] : {std::pair{[&] { auto q = p; q.Ellipsoid = 999; return q; }(), "ellipsoid 999"},
                                      std::pair{[&] { auto q = p; q.Projection = 7; return q; }(), "projection 7"}}) {
        TThemeLayer layer;
        const QStringList errors = open(prefix, layer);
        EXPECT_TRUE(layer.Active()) << why;
        EXPECT_EQ(layer.GetObjectCount(), 1) << why;
        ASSERT_EQ(errors.size(), 1) << why;
        EXPECT_TRUE(errors[0].contains(path) && errors[0].contains(QLatin1StringView(why))) << errors[0].toStdString();
    }
    TThemeLayer wrapped;
    p.NextId = std::numeric_limits<std::int32_t>::min();
    EXPECT_TRUE(open(p, wrapped).isEmpty());
    EXPECT_TRUE(wrapped.Active());
    EXPECT_EQ(wrapped.NextId(), std::numeric_limits<std::int32_t>::min());
}
