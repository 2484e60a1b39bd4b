// The built-in table against PROJ's database (proj.db): each ellipsoid's a
// and 1/f, and each datum's three-parameter shift to WGS 84 where proj.db
// holds a geocentric translation from a CRS on the same ellipsoid. Rows are
// never changed to follow proj.db (stored indices point at them); this test
// prints the comparison and pins the list of rows that proj.db does not
// confirm, so that an accidental edit of the table shows up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "coords/MapProj.h"

namespace {

const char* kProjDb = "/usr/share/proj/proj.db";

struct TShiftRow {
    std::string Code, Name, Area;
    double Tx, Ty, Tz, EllipsoidA, EllipsoidInvF;
};

std::string Text(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

// Rows of the table that proj.db does not confirm: "ellipsoid/datum".
const std::set<std::string> kUnconfirmedDatums = {
#include "ProjDbUnconfirmed.inc"
};

// The leading word under which proj.db names the datum's transformations.
std::string ProjDbPrefix(const std::string& datumName) {
    const std::string name = datumName.substr(0, datumName.find(" - "));
    if (name.rfind("North American 1983", 0) == 0) return "NAD83";
    if (name.rfind("WGS 1972", 0) == 0) return "WGS 72";
    return name.substr(0, name.find(' '));
}

}  // namespace

TEST(ProjDb, BuiltInTableAgainstProjDb) {
    if (!std::filesystem::exists(kProjDb)) GTEST_SKIP() << "no " << kProjDb;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(kProjDb, &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);

    TEarthShapes shapes;
    shapes.LoadDefaults();

    // Ellipsoids: rows of proj.db with the same semi-major axis.
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT auth_name || ':' || code, name, semi_major_axis, "
                                 "COALESCE(inv_flattening, semi_major_axis / (semi_major_axis - semi_minor_axis)) "
                                 "FROM ellipsoid WHERE deprecated = 0 AND uom_code = '9001' "
                                 "AND abs(semi_major_axis - ?1) < 0.0005",
                                 -1, &st, nullptr),
              SQLITE_OK);
    std::set<int> differing;
    for (int i = 0; i < shapes.EllipsoidCount(); ++i) {
        const TEllipsoid& e = shapes.GetEllipsoid(i);
        sqlite3_bind_double(st, 1, e.A());
        std::string best;
        double bestGap = INFINITY;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const double invf = sqlite3_column_double(st, 3);
            const double gap = std::fabs(invf - 1 / e.F());
            if (gap < bestGap) {
                bestGap = gap;
                best = Text(st, 0) + " \"" + Text(st, 1) + "\" 1/f " + std::to_string(invf);
            }
        }
        sqlite3_reset(st);
        const bool same = bestGap < 1e-6;
        if (!best.empty() && !same) differing.insert(i);
        std::printf("ellipsoid %2d %-30s a %.3f 1/f %.10g: %s %s\n", i, e.Name().c_str(), e.A(), 1 / e.F(),
                    best.empty() ? "no entry with this a" : (same ? "agrees with" : "differs from"), best.c_str());
    }
    sqlite3_finalize(st);

    // Datums: geocentric translations to WGS 84.
    std::vector<TShiftRow> rows;
    ASSERT_EQ(sqlite3_prepare_v2(
                  db,
                  "SELECT h.auth_name || ':' || h.code, h.name, COALESCE(ex.name, ''), h.tx, h.ty, h.tz, "
                  "e.semi_major_axis, COALESCE(e.inv_flattening, e.semi_major_axis / (e.semi_major_axis - "
                  "e.semi_minor_axis)) "
                  "FROM helmert_transformation h "
                  "JOIN geodetic_crs c ON c.auth_name = h.source_crs_auth_name AND c.code = h.source_crs_code "
                  "JOIN geodetic_datum d ON d.auth_name = c.datum_auth_name AND d.code = c.datum_code "
                  "JOIN ellipsoid e ON e.auth_name = d.ellipsoid_auth_name AND e.code = d.ellipsoid_code "
                  "LEFT JOIN usage u ON u.object_table_name = 'helmert_transformation' "
                  "AND u.object_auth_name = h.auth_name AND u.object_code = h.code "
                  "LEFT JOIN extent ex ON ex.auth_name = u.extent_auth_name AND ex.code = u.extent_code "
                  "WHERE h.target_crs_auth_name = 'EPSG' AND h.target_crs_code = '4326' "
                  "AND h.method_code IN ('9603', '1031') AND h.deprecated = 0 "
                  "AND h.rx IS NULL OR (h.target_crs_code = '4326' AND h.rx = 0 AND h.ry = 0 AND h.rz = 0 "
                  "AND h.scale_difference = 0 AND h.deprecated = 0)",
                  -1, &st, nullptr),
              SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW)
        rows.push_back({Text(st, 0), Text(st, 1), Text(st, 2), sqlite3_column_double(st, 3),
                        sqlite3_column_double(st, 4), sqlite3_column_double(st, 5), sqlite3_column_double(st, 6),
                        sqlite3_column_double(st, 7)});
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(rows.size(), 500u);

    std::set<std::string> unconfirmed;
    int confirmed = 0;
    for (int i = 0; i < shapes.EllipsoidCount(); ++i) {
        const TEllipsoid& e = shapes.GetEllipsoid(i);
        for (int j = 0; j < e.DatumCount(); ++j) {
            const TDatum& d = e.GetDatum(j);
            const TShiftRow* exact = nullptr;
            const TShiftRow* exactElsewhere = nullptr;
            // A zero shift says nothing by itself: it must come with the datum's name.
            const std::string prefix = ProjDbPrefix(d.Name());
            const bool zero = d.DX() == 0 && d.DY() == 0 && d.DZ() == 0;
            for (const TShiftRow& r : rows) {
                if (r.Tx != d.DX() || r.Ty != d.DY() || r.Tz != d.DZ()) continue;
                if (zero && r.Name.rfind(prefix, 0) != 0) continue;
                if (std::fabs(r.EllipsoidA - e.A()) <= 0.0005) {
                    exact = &r;
                    break;
                }
                if (!exactElsewhere) exactElsewhere = &r;
            }
            const std::string key = std::to_string(i) + "/" + std::to_string(j);
            if (exact || (i == 21 && d.DX() == 0 && d.DY() == 0 && d.DZ() == 0)) {
                ++confirmed;  // (WGS 84 itself needs no shift to WGS 84)
                continue;
            }
            if (exactElsewhere) {
                ++confirmed;
                std::printf("datum %-6s %s: shift as %s \"%s\", whose datum is on a = %.3f, 1/f %.9g\n",
                            key.c_str(), d.Name().c_str(), exactElsewhere->Code.c_str(),
                            exactElsewhere->Name.c_str(), exactElsewhere->EllipsoidA, exactElsewhere->EllipsoidInvF);
                continue;
            }
            // The nearest translation of a datum of the same name.
            const TShiftRow* nearest = nullptr;
            double nearestGap = INFINITY;
            for (const TShiftRow& r : rows) {
                if (r.Name.rfind(prefix, 0) != 0) continue;
                const double gap = std::hypot(r.Tx - d.DX(), r.Ty - d.DY(), r.Tz - d.DZ());
                if (gap < nearestGap) {
                    nearestGap = gap;
                    nearest = &r;
                }
            }
            unconfirmed.insert(key);
            if (nearest)
                std::printf("datum %-6s %s (%g, %g, %g): differs; nearest of that name %s \"%s\" (%g, %g, %g) "
                            "[%s], %.1f m away\n",
                            key.c_str(), d.Name().c_str(), d.DX(), d.DY(), d.DZ(), nearest->Code.c_str(),
                            nearest->Name.c_str(), nearest->Tx, nearest->Ty, nearest->Tz, nearest->Area.c_str(),
                            nearestGap);
            else
                std::printf("datum %-6s %s (%g, %g, %g): no proj.db translation for this datum name\n", key.c_str(),
                            d.Name().c_str(), d.DX(), d.DY(), d.DZ());
        }
    }
    std::printf("%d of 219 datum rows have an identical shift in proj.db; %zu do not\n", confirmed,
                unconfirmed.size());
    // "Everest Indian 1956": proj.db's Everest 1830 (1962 Definition) has 1/f 300.8017255.
    EXPECT_EQ(differing, std::set<int>{8});
    EXPECT_EQ(unconfirmed, kUnconfirmedDatums);
    // The Tanzania row is among the confirmed ones.
    EXPECT_EQ(unconfirmed.count("5/19"), 0u);
}
