// The drawing file: golden bytes, round trips, damaged and truncated files,
// opening, closing, creating and saving.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/view/CoordinateSystemPrefix.h"
#include "engine/view/Drawing.h"
#include "tests/engine/view/Bytes.h"
#include "tests/engine/view/TestApp.h"

namespace {

std::string Save(TDrawing& view) {
    TMemoryStream s;
    view.SaveToStream(s);
    return s.ToString();
}

void Load(TDrawing& view, const std::string& bytes) {
    TMemoryStream s(bytes);
    view.LoadFromStream(s);
}

// The body of a drawing as written by hand, for a view set up by Configure.
Bytes GoldenBody(std::int32_t activeIndex = -1) {
    Bytes b;
    b.line("Ana Souza").line("Defesa Civil");
    b.point(-10, -20).point(1000.5, 2000.25).point(0, 0).point(400, 300);
    b.f64(2.5).f64(0.5).f64(0.25).u8(1);
    b.f64(10).f64(20).u8(0).u8(1);
    b.i32(5).i32(4).i32(2).i32(4).i32(0x00FF8040);
    b.line("LAYERS").i32(0).line("ELAYERS");
    b.i32(activeIndex);
    return b;
}

void Configure(TDrawing& v) {
    v.SetAuthor(QStringLiteral("Ana Souza"));
    v.SetOrganization(QStringLiteral("Defesa Civil"));
    v.SetLeftLimit(-10);
    v.SetBottomLimit(-20);
    v.SetRightLimit(1000.5);
    v.SetTopLimit(2000.25);
    v.ZoomWindow(0, 0, 400, 300);
    v.SetSnapX(2.5);
    v.SetSnapY(0.5);
    v.SetSnapAngle(0.25);
    v.SetSnapEnabled(true);
    v.SetGridX(10);
    v.SetGridY(20);
    v.SetOrtho(true);
    v.SetDistanceUnits(duCentimeter);
    v.SetAngleUnits(auCycles);
    v.SetDistancePrecision(2);
    v.SetAnglePrecision(4);
    v.SetColor(0x00FF8040);
}

// A view with the coordinate-system block in front of its body, as the
// coordinate-aware view writes it.
class TPrefixedDrawing : public TDrawing {
public:
    TCoordinateSystemPrefix prefix;

protected:
    std::function<void()> ReadPrefix(TStream& s) override {
        const TCoordinateSystemPrefix read = ReadCoordinateSystemPrefix(s);
        return [this, read] { prefix = read; };
    }
    void WritePrefix(TStream& s) override { WriteCoordinateSystemPrefix(s, prefix); }
};

struct DrawingFileTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        view = std::make_unique<TDrawing>();
        view->resize(401, 301);
    }
    std::unique_ptr<TDrawing> view;
};

TEST_F(DrawingFileTest, GoldenBytesAndRoundTrip) {
    Configure(*view);
    const std::string saved = Save(*view);
    EXPECT_EQ(saved, GoldenBody().b);

    TDrawing other;
    other.resize(401, 301);
    Load(other, saved);
    EXPECT_EQ(other.Author(), QStringLiteral("Ana Souza"));
    EXPECT_EQ(other.RightLimit(), 1000.5);
    EXPECT_EQ(other.GetViewTop(), 300);
    EXPECT_EQ(other.DistanceUnits(), duCentimeter);
    EXPECT_EQ(other.AngleUnits(), auCycles);
    EXPECT_TRUE(other.SnapEnabled());
    EXPECT_FALSE(other.GridEnabled());
    EXPECT_TRUE(other.Ortho());
    EXPECT_EQ(other.Color(), 0x00FF8040);
    EXPECT_EQ(Save(other), saved);
}

TEST_F(DrawingFileTest, StoredValuesAreChecked) {
    // A Boolean byte other than 1 reads back as False.
    Bytes b = GoldenBody();
    const std::size_t snapEnabledAt = b.b.size() - (1 + 8 + 8 + 1 + 1 + 5 * 4 + 8 + 4 + 9 + 4);
    ASSERT_EQ(b.b[snapEnabledAt], 1);
    b.b[snapEnabledAt] = 2;
    Load(*view, b.b);
    EXPECT_FALSE(view->SnapEnabled());

    // A foreign unit code, point class or end line is a damaged file; the
    // view keeps what it had.
    const auto damaged = [&](std::string bytes) {
        TDrawing v;
        v.SetAuthor(QStringLiteral("antes"));
        EXPECT_THROW(Load(v, bytes), EFormatError);
        EXPECT_EQ(v.Author(), QStringLiteral("antes"));
    };
    std::string units = GoldenBody().b;
    const std::size_t unitsAt = units.size() - (5 * 4 + 8 + 4 + 9 + 4);
    ASSERT_EQ(units[unitsAt], 5);
    units[unitsAt] = 6;
    damaged(units);
    std::string point = GoldenBody().b;
    point.replace(point.find("POINT"), 5, "CIRCL");
    damaged(point);
    std::string end = GoldenBody().b;
    end.replace(end.find("EPOINT"), 6, "EPOINX");
    damaged(end);
}

TEST_F(DrawingFileTest, TruncatedFilesFailCleanly) {
    Configure(*view);
    const std::string saved = Save(*view);
    for (std::size_t n = 0; n < saved.size(); ++n) {
        TDrawing v;
        v.SetAuthor(QStringLiteral("antes"));
        v.SetRightLimit(7);
        try {
            Load(v, saved.substr(0, n));
            ADD_FAILURE() << "read succeeded at length " << n;
        } catch (const EEngineError&) {
        }
        EXPECT_EQ(v.Author(), QStringLiteral("antes")) << n;
        EXPECT_EQ(v.RightLimit(), 7) << n;
    }
}

TEST_F(DrawingFileTest, CoordinateSystemBlockGoldenBytes) {
    TPrefixedDrawing local;
    local.resize(401, 301);
    Configure(local);
    Bytes none;
    none.i32(-1).i32(19).i32(8);
    EXPECT_EQ(Save(local), none.b + GoldenBody().b);

    TPrefixedDrawing utm;
    utm.resize(401, 301);
    Configure(utm);
    utm.prefix.Projection = 1;
    utm.prefix.UTM.Zone = 23;
    utm.prefix.UTM.CentralMeridian = -44.5;  // need not follow the zone
    utm.prefix.Ellipsoid = 3;
    utm.prefix.Datum = 0;
    Bytes block;
    block.i32(1).f64(0.9996).f64(500000).f64(10000000).i32(23).f64(-44.5).i32(3).i32(0);
    ASSERT_EQ(block.b.size(), 4u + 36u + 8u);
    const std::string saved = Save(utm);
    EXPECT_EQ(saved, block.b + GoldenBody().b);

    TPrefixedDrawing back;
    back.resize(401, 301);
    Load(back, saved);
    EXPECT_EQ(back.prefix, utm.prefix);
    EXPECT_EQ(Save(back), saved);

    for (std::size_t n = 0; n < saved.size(); ++n) {
        TPrefixedDrawing v;
        EXPECT_THROW(Load(v, saved.substr(0, n)), EEngineError) << n;
        EXPECT_EQ(v.prefix, TCoordinateSystemPrefix{}) << n;
    }
    // Values beyond the catalogue or the known projections are read as
    // stored and written back unchanged.
    for (auto odd : {Bytes().i32(2).i32(19).i32(8), Bytes().i32(-1).i32(-3).i32(8), Bytes().i32(-1).i32(19).i32(-1),
                     Bytes().i32(0).i32(22).i32(0), Bytes().i32(0).i32(19).i32(100000),
                     Bytes().i32(1).f64(1).f64(0).f64(0).i32(61).f64(0).i32(19).i32(8),
                     Bytes().i32(1).f64(1).f64(0).f64(0).i32(-1).f64(0).i32(19).i32(8)}) {
        TPrefixedDrawing v;
        v.resize(401, 301);
        ASSERT_NO_THROW(Load(v, odd.b + GoldenBody().b));
        EXPECT_EQ(Save(v), odd.b + GoldenBody().b);
    }
    EXPECT_TRUE(CoordinateSystemProblem(-1, -3, 8).isEmpty());
    EXPECT_TRUE(CoordinateSystemProblem(1, 19, 8).isEmpty());
    EXPECT_FALSE(CoordinateSystemProblem(2, 19, 8).isEmpty());
    EXPECT_FALSE(CoordinateSystemProblem(0, 22, 0).isEmpty());
    EXPECT_FALSE(CoordinateSystemProblem(1, 19, 100000).isEmpty());
}

struct DrawingFileOnDisk : DrawingFileTest {
    void SetUp() override {
        DrawingFileTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        view->SetDatabaseName(dir.path());
        view->SetDrawingName(QStringLiteral("Morro.map"));
    }
    QTemporaryDir dir;
};

TEST_F(DrawingFileOnDisk, MissingFileIsReportedAndAfterOpenDoesNotFire) {
    int before = 0, after = 0;
    QString error;
    view->BeforeOpen = [&](TDrawing*) { ++before; };
    view->AfterOpen = [&](TDrawing*) { ++after; };
    view->OnError = [&](TDrawing*, const QString& m) { error = m; };
    EXPECT_THROW(view->Open(), EFileError);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(view->Active());
    EXPECT_THROW(view->SetActive(true), EFileError);
    EXPECT_FALSE(view->Active());
    EXPECT_FALSE(view->HasFile());
}

TEST_F(DrawingFileOnDisk, CreateOpenCloseAndSave) {
    Configure(*view);
    view->CreateDrawing();
    EXPECT_TRUE(view->HasFile());
    QFile f(view->DrawingPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), GoldenBody().b);
    f.close();

    // Another view does not replace an existing file unless told to.
    TDrawing second;
    second.SetDatabaseName(dir.path());
    second.SetDrawingName(QStringLiteral("Morro.map"));
    EXPECT_THROW(second.CreateDrawing(), EFileError);
    EXPECT_FALSE(second.HasFile());
    second.SetActive(true);
    EXPECT_TRUE(second.Active());
    EXPECT_EQ(second.Author(), QStringLiteral("Ana Souza"));
    second.SetActive(false);
    EXPECT_FALSE(second.Active());
    second.SetAuthor(QStringLiteral("Outro"));
    second.SaveDrawing();
    TDrawing third;
    third.SetDatabaseName(dir.path());
    third.SetDrawingName(QStringLiteral("Morro.map"));
    third.Open();
    EXPECT_EQ(third.Author(), QStringLiteral("Outro"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Morro.map")});

    TDrawing fourth;
    fourth.SetDatabaseName(dir.path());
    fourth.SetDrawingName(QStringLiteral("Morro.map"));
    fourth.CreateDrawing(true);
    EXPECT_TRUE(fourth.HasFile());
}

TEST_F(DrawingFileOnDisk, SaveIntoAMissingFolderRaises) {
    EXPECT_THROW(view->SaveToFile(dir.path() + QStringLiteral("/nada/x.map")), EFileError);
}

// A view whose save fails part-way, after some bytes have been written.
class TFailingDrawing : public TDrawing {
protected:
    void WritePrefix(TStream& s) override {
        s.Write("parte", 5);
        throw EStreamError(QStringLiteral("disco cheio"));
    }
};

TEST_F(DrawingFileOnDisk, AFailedSaveLeavesTheOldFile) {
    Configure(*view);
    view->CreateDrawing();
    TFailingDrawing failing;
    failing.SetDatabaseName(dir.path());
    failing.SetDrawingName(QStringLiteral("Morro.map"));
    EXPECT_THROW(failing.SaveDrawing(), EStreamError);
    QFile f(view->DrawingPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), GoldenBody().b);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Morro.map")});
}

}  // namespace
