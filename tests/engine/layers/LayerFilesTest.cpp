#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/layers/Layer.h"
#include "engine/layers/Layers.h"
#include "engine/symbology/ThemeClasses.h"
#include "tests/support/Reproducers.h"
#include "tests/support/TestObjects.h"

using namespace std::string_literals;

namespace {

std::string I32(std::int32_t v) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}
std::string I64(std::int64_t v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
}
std::string F64(double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
std::string Bytes(const QByteArray& a) { return std::string(a.constData(), static_cast<std::size_t>(a.size())); }

// The symbology blocks of a new layer, written by hand from the format.
const std::string kDefaultsBlock = I32(0) + I32(0) + "Arial,12,0,[]\r\n" + "\x95" + "none\r\n" + I32(0) + I32(1) +
                                   I32(0xFFFF) + I32(0) + "none\r\n" + "Arial,10,0,[]\r\n";
const std::string kHiliteBlock = I32(0x800080) + I32(0) + "Arial,12,8388736,[]\r\n" + "\x95" + "none\r\n" + I32(1) +
                                 I32(1) + I32(0xFFFF) + I32(0) + "none\r\n" + "Arial,10,8388736,[]\r\n";
// A header: folder, name, caption, visible but not in the legend (2),
// the two blocks, not frozen, read-only.
const std::string kHeader = "/data/maps\r\n"s + "roads.cam\r\n" + "Roads\r\n" + "\x02" + kDefaultsBlock +
                            kHiliteBlock + std::string("\x00\x01", 2);

class LayerFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestBox();
        ASSERT_TRUE(dir.isValid());
    }
    QTemporaryDir dir;
    TFakeHost host;
};

TEST_F(LayerFilesTest, HeaderGoldenBytesAndRoundTrip) {
    TLayer layer(&host);
    layer.SetDatabaseName(QStringLiteral("/data/maps"));
    layer.SetLayerName(QStringLiteral("roads.cam"));
    layer.SetCaption(QStringLiteral("Roads"));
    layer.SetLegendVisible(false);
    layer.SetReadOnly(true);
    TMemoryStream out;
    layer.WriteHeader(out);
    EXPECT_EQ(out.ToString(), kHeader);

    TLayer back(&host);
    int changes = 0, defaultsChanges = 0;
    back.OnChange = [&](TLayer&) { ++changes; };
    back.Defaults()->OnChange = [&](TThemeClass&) { ++defaultsChanges; };
    TMemoryStream in(kHeader);
    back.ReadHeader(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(back.Caption(), u"Roads");
    EXPECT_TRUE(back.Visible());
    EXPECT_FALSE(back.LegendVisible());
    EXPECT_TRUE(back.ReadOnly());
    EXPECT_EQ(back.SelectionHilite()->LineStyle(), lsDot);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(defaultsChanges, 1);
    TMemoryStream again;
    back.WriteHeader(again);
    EXPECT_EQ(again.ToString(), kHeader);

    // The visibility byte, both ways.
    const std::pair<std::pair<bool, bool>, char> cases[] = {
        {{true, false}, 2}, {{true, true}, 6}, {{false, true}, 3}, {{false, false}, 1}};
    for (const auto& [flags, byte] : cases) {
        layer.SetVisible(flags.first);
        layer.SetLegendVisible(flags.second);
        TMemoryStream s;
        layer.WriteHeader(s);
        EXPECT_EQ(s.ToString()[30], byte);
        s.Seek(0);
        back.ReadHeader(s);
        EXPECT_EQ(back.Visible(), flags.first);
        EXPECT_EQ(back.LegendVisible(), flags.second);
    }

    // A frozen byte of 2 reads False; a damaged header changes nothing.
    std::string odd = kHeader;
    odd[odd.size() - 2] = 2;
    TMemoryStream s(odd);
    back.ReadHeader(s);
    EXPECT_FALSE(back.Frozen());
    TMemoryStream cut(kHeader.substr(0, 60));
    back.SetCaption(QStringLiteral("kept"));
    EXPECT_THROW(back.ReadHeader(cut), EEngineError);
    EXPECT_EQ(back.Caption(), u"kept");
}

TEST_F(LayerFilesTest, StyleFileGoldenBytesAtomicSave) {
    TLayer layer(&host);
    const QString path = dir.filePath("roads.lgc");
    layer.SaveStyleToFile(path);
    EXPECT_EQ(Bytes(ReadAll(path)), kDefaultsBlock + kHiliteBlock);

    // Styles read through the class writes: the line colour recolours the
    // fonts, the font lines then set their own colour.
    TLayer other(&host);
    other.Defaults()->SetLineColor(clRed);
    TFont f = other.Defaults()->TextFont();
    f.Color = clBlue;
    other.Defaults()->SetTextFont(f);
    other.SaveStyleToFile(path);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left
    layer.LoadStyleFromFile(path);
    EXPECT_EQ(layer.Defaults()->LineColor(), clRed);
    EXPECT_EQ(layer.Defaults()->TextFont().Color, clBlue);
    EXPECT_EQ(layer.Defaults()->SymbolFont().Color, clRed);
    TMemoryStream a, b;
    layer.WriteStyle(a);
    other.WriteStyle(b);
    EXPECT_EQ(a.ToString(), b.ToString());

    EXPECT_THROW(layer.LoadStyleFromFile(dir.filePath("none.lgc")), EFileError);
}

TEST_F(LayerFilesTest, LayerFileGoldenBytesAndRoundTrip) {
    const std::string golden = I32(2) + I32(2) + "TESTBOX\r\n" + I64(0xAB) + F64(1) + F64(2) + F64(3) + F64(4) +
                               "ETESTBOX\r\n" + "TESTBOX\r\n" + I64(0) + F64(-1) + F64(0) + F64(0) + F64(0.5) +
                               "ETESTBOX\r\n" + "EOF\r\n";
    const QString path = dir.filePath("roads.cam");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(golden.data(), static_cast<qint64>(golden.size()));
    }
    TLayer layer(&host);
    layer.Defaults()->SetLineColor(clGreen);
    layer.Defaults()->SetLineWidth(4);
    std::vector<std::pair<int, int>> progress;
    int changes = 0;
    layer.OnProgress = [&](TLayer&, int i, int n) { progress.emplace_back(i, n); };
    layer.OnChange = [&](TLayer&) { ++changes; };
    layer.LoadFromFile(path);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(layer.CoordinateUnits(), cuMeters);
    ASSERT_EQ(layer.GetObjectCount(), 2);
    auto* box = static_cast<TTestBox*>(layer.GetObject(0));
    EXPECT_EQ(box->Id(), u"000000000000000000AB");
    EXPECT_EQ(box->LineColor(), clGreen);  // the layer's defaults
    EXPECT_EQ(box->LineWidth(), 4);
    EXPECT_EQ(box->Parent(), &layer);
    EXPECT_EQ(layer.FindObject(QStringLiteral("000000000000000000AB")), box);
    EXPECT_EQ(layer.GetLowerX(), -1);
    EXPECT_EQ(layer.GetUpperY(), 4);
    EXPECT_EQ(layer.DatabaseName(), dir.path());
    EXPECT_EQ(layer.LayerName(), u"roads.cam");

    // Appends to what the layer holds.
    layer.LoadFromFile(path);
    EXPECT_EQ(layer.GetObjectCount(), 4);

    const QString copy = dir.filePath("copy.cam");
    TLayer two(&host);
    two.LoadFromFile(path);
    two.SaveToFile(copy);
    EXPECT_EQ(Bytes(ReadAll(copy)), golden);
    EXPECT_EQ(two.LayerName(), u"copy.cam");

    TLayer empty(&host);
    empty.SetCoordinateUnits(cuDecimalDegrees);
    empty.SaveToFile(copy);
    EXPECT_EQ(Bytes(ReadAll(copy)), I32(1) + I32(0) + "EOF\r\n");
}

TEST_F(LayerFilesTest, UnregisteredClassFailsTheLoadAndNamesIt) {
    const std::string bytes = I32(0) + I32(2) + "TESTBOX\r\n" + I64(1) + F64(1) + F64(2) + F64(3) + F64(4) +
                              "ETESTBOX\r\n" + "GADGET\r\n" + I64(2) + "EGADGET\r\n" + "EOF\r\n";
    TLayer layer(&host);
    TMemoryStream s(bytes);
    try {
        layer.ReadObjects(s);
        FAIL();
    } catch (const EFormatError& e) {
        EXPECT_TRUE(e.Message().contains(u"TGADGET")) << e.Message().toStdString();
    }
    EXPECT_EQ(StreamReadLine(s), u"GADGET");  // aligned on the record
    EXPECT_EQ(layer.GetObjectCount(), 0);
    EXPECT_EQ(LiveBoxes().size(), 0u);

    // Through Open: empty, inactive, reported.
    const QString path = dir.filePath("gadget.cam");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    layer.SetDatabaseName(dir.path());
    layer.SetLayerName(QStringLiteral("GADGET.CAM"));  // found without regard to case
    layer.Open();
    EXPECT_FALSE(layer.Active());
    ASSERT_EQ(host.Failures.size(), 1u);
    EXPECT_TRUE(host.Failures[0].contains(u"TGADGET"));
}

TEST_F(LayerFilesTest, LayersSectionGoldenBytesAndReading) {
    const std::string golden = "LAYERS\r\n"s + I32(1) + "LAYER\r\n" + kHeader + "ELAYER\r\n" + "ELAYERS\r\n";
    {
        TLayers layers(&host);
        auto layer = std::make_unique<TLayer>(&host);
        TMemoryStream h(kHeader);
        layer->ReadHeader(h);
        layers.Add(std::move(layer));
        TMemoryStream out;
        layers.SaveToStream(out);
        EXPECT_EQ(out.ToString(), golden);
    }
    // Reading: a missing layer file loads empty and is listed; one change.
    TLayers layers(&host);
    int changes = 0;
    std::vector<std::pair<int, int>> progress;
    layers.OnChange = [&](TLayers&) { ++changes; };
    layers.OnProgress = [&](TLayers&, int i, int n) { progress.emplace_back(i, n); };
    TMemoryStream in(golden);
    layers.LoadFromStream(in);
    EXPECT_TRUE(in.AtEnd());
    ASSERT_EQ(layers.GetCount(), 1);
    EXPECT_FALSE(layers.GetItem(0)->Active());
    EXPECT_EQ(layers.GetItem(0)->Caption(), u"Roads");
    EXPECT_EQ(host.Failures.size(), 1u);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 1}}));
    TMemoryStream again;
    layers.SaveToStream(again);
    EXPECT_EQ(again.ToString(), golden);

    // Skipping every layer consumes every record and lists none.
    const std::string two = "LAYERS\r\n"s + I32(2) + "LAYER\r\n" + kHeader + "ELAYER\r\n" + "LAYER\r\n" + kHeader +
                            "ELAYER\r\n" + "ELAYERS\r\n";
    TLayers skipping(&host);
    skipping.OnBeforeAdd = [](TLayers&, TLayer&, bool& skip) { skip = true; };
    TMemoryStream s2(two);
    skipping.LoadFromStream(s2);
    EXPECT_TRUE(s2.AtEnd());
    EXPECT_EQ(skipping.GetCount(), 0);

    // An unknown layer class: an error naming it, the stream on its record,
    // the layers before it kept.
    const std::string unknown = "LAYERS\r\n"s + I32(2) + "LAYER\r\n" + kHeader + "ELAYER\r\n" + "MAGICLAYER\r\n" +
                                kHeader + "EMAGICLAYER\r\n" + "ELAYERS\r\n";
    TLayers partial(&host);
    TMemoryStream s3(unknown);
    try {
        partial.LoadFromStream(s3);
        FAIL();
    } catch (const EFormatError& e) {
        EXPECT_TRUE(e.Message().contains(u"TMAGICLAYER"));
    }
    EXPECT_EQ(StreamReadLine(s3), u"MAGICLAYER");
    EXPECT_EQ(partial.GetCount(), 1);
}

// A child process posts a layer over and over and is killed part-way: the
// file is always one whole version, never a partial one.
TEST_F(LayerFilesTest, SaveKilledPartWayLeavesAWholeFile) {
    const QString path = dir.filePath("roads.cam");
    TLayer layer(&host);
    layer.SetDatabaseName(dir.path());
    layer.SetLayerName(QStringLiteral("roads.cam"));
    layer.CreateLayerFile();
    for (int round = 0; round < 6; ++round) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TLayer child(nullptr);
            child.SetDatabaseName(dir.path());
            child.SetLayerName(QStringLiteral("roads.cam"));
            child.Open();
            child.Edit();
            for (int n = 0;; ++n) {
                for (int k = 0; k < 500; ++k) child.Add(std::unique_ptr<TVisualObject>(new TTestBox(n, k, n + 1, k + 1)));
                child.InternalPost();
            }
        }
        usleep(static_cast<useconds_t>(20000 + 15000 * round));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        QFile::remove(dir.filePath("roads.lck"));  // the killed child's lock

        TLayer check(nullptr);
        check.LoadFromFile(path);
        const qint64 records = check.GetObjectCount();
        EXPECT_EQ(records % 500, 0);
        const qint64 recordBytes = 9 + 8 + 32 + 10;
        EXPECT_EQ(QFile(path).size(), 8 + records * recordBytes + 5);
    }
}

// Several processes race for one layer's lock: exactly one edits.
TEST_F(LayerFilesTest, ProcessesRaceForOneLock) {
    for (int round = 0; round < 5; ++round) {
        constexpr int kRacers = 4;
        int go[2], results[2], done[2];
        ASSERT_EQ(pipe(go), 0);
        ASSERT_EQ(pipe(results), 0);
        ASSERT_EQ(pipe(done), 0);
        pid_t pids[kRacers];
        for (int i = 0; i < kRacers; ++i) {
            pids[i] = fork();
            ASSERT_GE(pids[i], 0);
            if (pids[i] == 0) {
                char c;
                TLayer racer(nullptr);
                racer.SetDatabaseName(dir.path());
                racer.SetLayerName(QStringLiteral("roads.cam"));
                if (read(go[0], &c, 1) != 1) _exit(2);
                racer.Edit();
                c = racer.State() == lsEdit ? 'E' : 'B';
                if (write(results[1], &c, 1) != 1) _exit(2);
                if (read(done[0], &c, 1) != 1) _exit(2);
                racer.EndEdit();
                _exit(0);
            }
        }
        const std::string start(kRacers, 'g');
        ASSERT_EQ(write(go[1], start.data(), kRacers), kRacers);
        int editors = 0;
        for (int i = 0; i < kRacers; ++i) {
            char c = 0;
            ASSERT_EQ(read(results[0], &c, 1), 1);
            editors += c == 'E' ? 1 : 0;
        }
        EXPECT_EQ(editors, 1);
        ASSERT_EQ(write(done[1], start.data(), kRacers), kRacers);
        for (pid_t pid : pids) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_FALSE(QFile::exists(dir.filePath("roads.lck")));
        for (int* p : {go, results, done}) {
            close(p[0]);
            close(p[1]);
        }
    }
}

}  // namespace

#include "engine/objects/PolyLine.h"

namespace {

TEST(LayerFilesObjects, PolylinesTakeTheLayerDefaultsAndRoundTrip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("lines.cam"));
    {
        TLayer layer(nullptr);
        layer.Edit();
        for (int i = 0; i < 3; ++i) {
            auto p = std::make_unique<TPolyLine>();
            p->SetId(QString::number(i + 10));
            p->AddContour(std::vector<TVertex>{{0.5 * i, 1, 2}, {3, 4.25, 5}, {-6, 7, 8}});
            p->SetLineColor(clBlue);
            ASSERT_GE(layer.Add(std::move(p)), 0);
        }
        layer.SaveToFile(path);
        layer.EndEdit();
    }
    TLayer back(nullptr);
    back.Defaults()->SetLineColor(clRed);
    back.Defaults()->SetLineWidth(3);
    back.LoadFromFile(path);
    ASSERT_EQ(back.GetObjectCount(), 3);
    auto* p = dynamic_cast<TPolyLine*>(back.GetObject(1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->LineColor(), clRed);
    EXPECT_EQ(p->LineWidth(), 3);
    EXPECT_EQ(back.FindObject(QStringLiteral("00000000000000000011")), p);
    EXPECT_EQ(back.GetLowerX(), -6);
    EXPECT_EQ(back.GetUpperY(), 7);
    const QString copy = dir.filePath(QStringLiteral("copy.cam"));
    back.SaveToFile(copy);
    QFile a(path), b(copy);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}

}  // namespace

// The end of a layer file and the closing lines of the sections are
// compared: a missing "EOF", bytes after it, or a count below the records
// refuse the file through Open with its name and what is wrong; line ends
// after "EOF" are no fault. A wrong closing line of a layer record, of the
// layers section or of a theme-class section refuses the section.
TEST_F(LayerFilesTest, EndOfFileAndClosingLinesAreCompared) {
    const QByteArray box = repro::Line("TESTBOX") + repro::Le(1, 8) + repro::F64(1) + repro::F64(2) + repro::F64(3) +
                           repro::F64(4) + repro::Line("ETESTBOX");
    const struct {
        QByteArray Bytes;
        const char* Why;
    } bad[] = {{repro::LayerFile(1, box, {}), "EOF"},
               {repro::LayerFile(1, box, repro::Line("EOX")), "EOF"},
               {repro::LayerFile(1, box, repro::Line("EOF") + "garbage"), "follow"},
               {repro::LayerFile(1, box + box), "more objects than its count 1"}};
    for (const auto& b : bad) {
        const QString path = dir.filePath(QStringLiteral("bad.cam"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(b.Bytes);
        f.close();
        host.Failures.clear();
        TLayer layer(&host);
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("bad.cam"));
        layer.Open();
        EXPECT_FALSE(layer.Active());
        ASSERT_EQ(host.Failures.size(), 1u);
        EXPECT_TRUE(host.Failures[0].contains(path) && host.Failures[0].contains(QLatin1StringView(b.Why)))
            << host.Failures[0].toStdString();
        EXPECT_EQ(LiveBoxes().size(), 0u);
    }
    TLayer sound(&host);
    TMemoryStream ok(repro::LayerFile(1, box, repro::Line("EOF") + "\r\n \x1A"));
    sound.ReadObjects(ok);
    EXPECT_EQ(sound.GetObjectCount(), 1);

    const std::string record = "LAYER\r\n"s + kHeader;
    for (const std::string& section : {"LAYERS\r\n"s + I32(1) + record + "EBOX\r\n" + "ELAYERS\r\n",
                                       "LAYERS\r\n"s + I32(1) + record + "ELAYER\r\n" + "ETHEMELAYERS\r\n"}) {
        TLayers layers(&host);
        TMemoryStream s(section);
        EXPECT_THROW(layers.LoadFromStream(s), EFormatError);
    }
    TThemeClasses classes;
    TMemoryStream c("THEMECLASSES\r\nTitle\r\n"s + I32(0) + "ETHEMECLASS\r\n");
    EXPECT_THROW(classes.LoadFromStream(c), EFormatError);
    TMemoryStream o("THEMECLASS\r\nTitle\r\n"s + I32(0) + "ETHEMECLASSES\r\n");
    EXPECT_THROW(classes.LoadFromStream(o), EFormatError);
}
