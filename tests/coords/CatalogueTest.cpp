// The ellipsoid and datum catalogue: the built-in table, the catalogue
// file's round trip and its handling of damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "coords/MapProj.h"

namespace fs = std::filesystem;

namespace {

fs::path TempDir() {
    const fs::path d = fs::temp_directory_path() / ("kz-coords-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

std::string ReadBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::string& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

template <typename T>
void Put(std::string& s, T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    s.append(b, sizeof(T));
}

const int kDatumCounts[22] = {5, 3, 10, 2, 34, 44, 6, 1, 1, 1, 1, 1, 6, 1, 1, 1, 76, 9, 1, 13, 1, 1};

}  // namespace

TEST(Catalogue, BuiltInTable) {
    TEarthShapes s;
    s.LoadDefaults();
    ASSERT_EQ(s.EllipsoidCount(), 22);
    int total = 0;
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(s.GetEllipsoid(i).DatumCount(), kDatumCounts[i]) << i;
        total += s.GetEllipsoid(i).DatumCount();
        for (int j = 0; j < s.GetEllipsoid(i).DatumCount(); ++j)
            EXPECT_EQ(s.GetEllipsoid(i).GetDatum(j).Ellipsoid(), &s.GetEllipsoid(i));
    }
    EXPECT_EQ(total, 219);

    const TEllipsoid& sa = s.GetEllipsoid(kDefaultEllipsoid);
    EXPECT_EQ(sa.Name(), "South American 1969");
    EXPECT_EQ(sa.GetDatum(kDefaultDatum).DX(), -57);
    EXPECT_EQ(sa.GetDatum(kDefaultDatum).DY(), 1);
    EXPECT_EQ(sa.GetDatum(kDefaultDatum).DZ(), -41);

    const TEllipsoid& wgs = s.GetEllipsoid(21);
    EXPECT_EQ(wgs.Name(), "WGS 1984");
    EXPECT_NEAR(wgs.B(), 6356752.314245179, 1e-8);
    EXPECT_DOUBLE_EQ(wgs.E2(), 0.0066943799901413165);
    EXPECT_EQ(s.GetEllipsoid(0).F(), 0.0033408506414970775);
    EXPECT_NE(s.GetEllipsoid(12).F(), wgs.F());  // GRS 1980 and WGS 1984 stay distinct

    // The Tanzania row carries the published shift for Tanzania.
    const TDatum& tz = s.GetEllipsoid(5).GetDatum(19);
    EXPECT_EQ(tz.Name(), "Arc 1950 - Taanzania");
    EXPECT_EQ(tz.DX(), -175);
    EXPECT_EQ(tz.DY(), -23);
    EXPECT_EQ(tz.DZ(), -303);
    // Names keep their CP1252 degree byte.
    EXPECT_EQ(s.GetEllipsoid(6).GetDatum(3).Name(), "Indian 1960 - Vietnam (Near 16\xF8N)");
    // Two rows of one name under two ellipsoids, each with its own shift.
    EXPECT_EQ(s.GetEllipsoid(4).GetDatum(2).Name(), s.GetEllipsoid(16).GetDatum(12).Name());
    EXPECT_EQ(s.GetEllipsoid(4).GetDatum(2).DX(), 289);
    EXPECT_EQ(s.GetEllipsoid(16).GetDatum(12).DX(), 298);

    EXPECT_THROW(s.GetEllipsoid(22), ECoordinateError);
    EXPECT_THROW(s.GetEllipsoid(-1), ECoordinateError);
    EXPECT_THROW(sa.GetDatum(13), ECoordinateError);

    ASSERT_EQ(s.ProjectionCount(), 2);
    EXPECT_EQ(s.GetProjection(0).Name(), "Geographic");
    EXPECT_EQ(s.GetProjection(1).Name(), "UTM");
    EXPECT_NE(dynamic_cast<TUTMConverter*>(&s.GetProjection(1).Converter()), nullptr);
    EXPECT_THROW(s.GetProjection(2), ECoordinateError);
}

TEST(Catalogue, SaveLoadRoundTripAndAppend) {
    const fs::path file = TempDir() / "roundtrip.geo";
    TEarthShapes a;
    a.LoadDefaults();
    a.AddEllipsoid("Empty one", 6378000.5, 0.003);  // no datums
    a.SaveToFile(file);

    TEarthShapes b;
    b.LoadFromFile(file);
    ASSERT_EQ(b.EllipsoidCount(), a.EllipsoidCount());
    for (int i = 0; i < a.EllipsoidCount(); ++i) {
        const TEllipsoid &x = a.GetEllipsoid(i), &y = b.GetEllipsoid(i);
        EXPECT_EQ(x.Name(), y.Name());
        EXPECT_EQ(x.A(), y.A());
        EXPECT_EQ(x.F(), y.F());
        EXPECT_EQ(x.B(), y.B());
        EXPECT_EQ(x.E2(), y.E2());
        ASSERT_EQ(x.DatumCount(), y.DatumCount());
        for (int j = 0; j < x.DatumCount(); ++j) {
            EXPECT_EQ(x.GetDatum(j).Name(), y.GetDatum(j).Name());
            EXPECT_EQ(x.GetDatum(j).DX(), y.GetDatum(j).DX());
            EXPECT_EQ(x.GetDatum(j).DY(), y.GetDatum(j).DY());
            EXPECT_EQ(x.GetDatum(j).DZ(), y.GetDatum(j).DZ());
        }
    }
    EXPECT_EQ(b.GetEllipsoid(22).DatumCount(), 0);
    // Saved again, the bytes are the same.
    const fs::path again = TempDir() / "roundtrip2.geo";
    b.SaveToFile(again);
    EXPECT_EQ(ReadBytes(file), ReadBytes(again));

    // Loading into a filled catalogue appends.
    b.LoadFromFile(file);
    EXPECT_EQ(b.EllipsoidCount(), 46);
    EXPECT_EQ(b.GetEllipsoid(23).Name(), "Airy 1830");
}

TEST(Catalogue, FileLayoutByHand) {
    // One ellipsoid with one datum, written byte by byte.
    std::string bytes;
    Put<std::int32_t>(bytes, 1);
    bytes += "  My ellipsoid \r\n";
    Put<double>(bytes, 6378388.0);
    Put<double>(bytes, 1 / 297.0);
    Put<std::int32_t>(bytes, 1);
    bytes += "My datum - Area\r\n";
    Put<double>(bytes, -1.5);
    Put<double>(bytes, 2.0);
    Put<double>(bytes, 3.25);
    const fs::path file = TempDir() / "hand.geo";
    WriteBytes(file, bytes);
    TEarthShapes s;
    s.LoadFromFile(file);
    ASSERT_EQ(s.EllipsoidCount(), 1);
    EXPECT_EQ(s.GetEllipsoid(0).Name(), "My ellipsoid");
    EXPECT_EQ(s.GetEllipsoid(0).GetDatum(0).DZ(), 3.25);

    // Saving writes exactly that layout (names trimmed).
    s.SaveToFile(file);
    std::string expected = bytes;
    expected.replace(4, 17, "My ellipsoid\r\n");
    EXPECT_EQ(ReadBytes(file), expected);

    // A count of zero or less means no records.
    std::string none;
    Put<std::int32_t>(none, -3);
    WriteBytes(file, none);
    TEarthShapes e;
    e.LoadFromFile(file);
    EXPECT_EQ(e.EllipsoidCount(), 0);
}

TEST(Catalogue, DamagedFilesAreRefusedWhole) {
    const fs::path good = TempDir() / "good.geo";
    TEarthShapes a;
    a.LoadDefaults();
    a.SaveToFile(good);
    const std::string bytes = ReadBytes(good);
    const fs::path bad = TempDir() / "bad.geo";

    // Every truncation that cuts a record short raises and appends nothing.
    int refused = 0;
    for (std::size_t cut = 1; cut < bytes.size(); cut += 7) {
        WriteBytes(bad, bytes.substr(0, cut));
        TEarthShapes s;
        s.AddEllipsoid("Kept", 6378137, 0.003);
        try {
            s.LoadFromFile(bad);
        } catch (const ECoordinateError& e) {
            ++refused;
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos);
        }
        EXPECT_TRUE(s.EllipsoidCount() == 1 || s.EllipsoidCount() == 23) << cut;
    }
    EXPECT_GT(refused, 0);

    auto expectRefused = [&](const std::string& b, const char* why) {
        WriteBytes(bad, b);
        TEarthShapes s;
        try {
            s.LoadFromFile(bad);
            ADD_FAILURE() << "accepted: " << why;
        } catch (const ECoordinateError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
        EXPECT_EQ(s.EllipsoidCount(), 0);
    };
    std::string huge;
    Put<std::int32_t>(huge, 0x7FFFFFFF);
    expectRefused(huge, "ellipsoid count");

    std::string noCr;
    Put<std::int32_t>(noCr, 1);
    noCr += std::string(40, 'x');
    expectRefused(noCr, "unterminated ellipsoid name");

    std::string nanA;
    Put<std::int32_t>(nanA, 1);
    nanA += "E\r\n";
    Put<double>(nanA, std::nan(""));
    Put<double>(nanA, 0.003);
    Put<std::int32_t>(nanA, 0);
    expectRefused(nanA, "semi-major axis");

    std::string badF;
    Put<std::int32_t>(badF, 1);
    badF += "E\r\n";
    Put<double>(badF, 6378137.0);
    Put<double>(badF, 298.257);  // the inverse stored by mistake
    Put<std::int32_t>(badF, 0);
    expectRefused(badF, "flattening");

    std::string manyDatums;
    Put<std::int32_t>(manyDatums, 1);
    manyDatums += "E\r\n";
    Put<double>(manyDatums, 6378137.0);
    Put<double>(manyDatums, 0.003);
    Put<std::int32_t>(manyDatums, 1000);
    expectRefused(manyDatums, "datum count");

    const fs::path missing = TempDir() / "missing.geo";
    TEarthShapes s;
    EXPECT_THROW(s.LoadFromFile(missing), ECoordinateError);
}

TEST(Catalogue, StartUpLoading) {
    const fs::path dir = TempDir();
    // No file: the built-in table, nothing to report.
    {
        TEarthShapes s;
        EXPECT_EQ(LoadCatalogue(s, {dir / "none1.geo", dir / "none2.geo"}), "");
        EXPECT_EQ(s.EllipsoidCount(), 22);
    }
    // A good file replaces the table; the first candidate that exists wins.
    const fs::path small = dir / "small.geo";
    {
        TEarthShapes one;
        one.AddEllipsoid("Only", 6378137, 0.0033).AddDatum("Only - here", 1, 2, 3);
        one.SaveToFile(small);
        TEarthShapes s;
        EXPECT_EQ(LoadCatalogue(s, {dir / "none.geo", small}), "");
        ASSERT_EQ(s.EllipsoidCount(), 1);
        EXPECT_EQ(s.GetEllipsoid(0).Name(), "Only");
    }
    // A damaged file, or one with no ellipsoid: the built-in table, and why.
    const fs::path damaged = dir / "damaged.geo";
    WriteBytes(damaged, ReadBytes(small).substr(0, 20));
    {
        TEarthShapes s;
        const std::string why = LoadCatalogue(s, {damaged, small});
        EXPECT_NE(why.find("damaged"), std::string::npos) << why;
        EXPECT_NE(why.find("built-in"), std::string::npos) << why;
        EXPECT_EQ(s.EllipsoidCount(), 22);
    }
    const fs::path empty = dir / "empty.geo";
    WriteBytes(empty, std::string(4, '\0'));
    {
        TEarthShapes s;
        EXPECT_NE(LoadCatalogue(s, {empty}).find("no ellipsoid"), std::string::npos);
        EXPECT_EQ(s.EllipsoidCount(), 22);
    }
    // A folder in the file's place cannot be read.
    const fs::path folder = dir / "folder.geo";
    fs::create_directories(folder);
    {
        TEarthShapes s;
        EXPECT_FALSE(LoadCatalogue(s, {folder}).empty());
        EXPECT_EQ(s.EllipsoidCount(), 22);
    }
}

TEST(Catalogue, FileFoundWithoutRegardToCase) {
    const fs::path dir = TempDir() / "case";
    fs::create_directories(dir / "GeoDesic");
    WriteBytes(dir / "GeoDesic" / "EarthShp.GEO", "x");
    EXPECT_EQ(FindCatalogueFile(dir), dir / "GeoDesic" / "EarthShp.GEO");
    EXPECT_EQ(FindCatalogueFile(TempDir() / "nothing"), TempDir() / "nothing" / "geodesic" / "earthshp.geo");
}

TEST(Catalogue, ProcessWideObjects) {
    // The test program has no catalogue file beside it or in its folder.
    EXPECT_EQ(EarthShapes().EllipsoidCount(), 22);
    EXPECT_EQ(EarthShapesLoadMessage(), "");
    EXPECT_EQ(EarthShapes().ProjectionCount(), 2);
    EXPECT_EQ(&EarthShapes(), &EarthShapes());
    EXPECT_EQ(GeographicDistanceCalculator().Ellipsoid(), nullptr);
    EXPECT_EQ(DatumConverter().SourceDatum(), nullptr);
}

TEST(Catalogue, EveryCutAndChangedByteOfASmallFile) {
    const fs::path good = TempDir() / "small.geo";
    TEarthShapes a;
    a.AddEllipsoid("Um", 6378137, 0.003).AddDatum("D1", 1, 2, 3);
    TEllipsoid& two = a.AddEllipsoid("Dois", 6378388, 0.0033);
    two.AddDatum("D2", -1, -2, -3);
    two.AddDatum("D3", 4, 5, 6);
    a.SaveToFile(good);
    const std::string bytes = ReadBytes(good);
    const fs::path bad = TempDir() / "small-bad.geo";
    const auto load = [&](const std::string& b) {
        WriteBytes(bad, b);
        TEarthShapes s;
        try {
            s.LoadFromFile(bad);
        } catch (const ECoordinateError&) {
            EXPECT_EQ(s.EllipsoidCount(), 0);
            return false;
        }
        for (int i = 0; i < s.EllipsoidCount(); ++i) {
            EXPECT_TRUE(s.GetEllipsoid(i).A() > 0);
            for (int j = 0; j < s.GetEllipsoid(i).DatumCount(); ++j)
                EXPECT_TRUE(std::isfinite(s.GetEllipsoid(i).GetDatum(j).DX()));
        }
        return true;
    };
    ASSERT_TRUE(load(bytes));
    // Only the last line end may be cut (its LF is not checked).
    for (std::size_t n = 0; n + 1 < bytes.size(); ++n) EXPECT_FALSE(load(bytes.substr(0, n))) << n;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        for (char c : {'\0', '\r', '\x7F', '\xFF'}) {
            std::string d = bytes;
            d[i] = c;
            load(d);
        }
}

TEST(Catalogue, AFailedSaveLeavesTheOldFile) {
    const fs::path target = TempDir() / "kept.geo";
    TEarthShapes a;
    a.LoadDefaults();
    a.SaveToFile(target);
    const std::string before = ReadBytes(target);
    // The temporary file cannot be made: nothing changes.
    fs::path temp = target;
    temp += ".tmp";
    fs::create_directories(temp / "sub");
    TEarthShapes other;
    other.AddEllipsoid("Outro", 6378137, 0.003);
    EXPECT_THROW(other.SaveToFile(target), ECoordinateError);
    EXPECT_EQ(ReadBytes(target), before);
    fs::remove_all(temp);
    // Nor into a missing folder.
    EXPECT_THROW(other.SaveToFile(TempDir() / "nenhuma" / "x.geo"), ECoordinateError);
}
