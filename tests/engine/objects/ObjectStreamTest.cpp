// Object records, keys and the class registry, against bytes made by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "tests/support/Reproducers.h"

namespace {

std::string Le64(std::uint64_t v) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string Le32(std::int32_t v) { return Le64(static_cast<std::uint32_t>(v)).substr(0, 4); }
std::string D(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    return Le64(u);
}
std::string Line(const std::string& s) { return s + "\r\n"; }
std::string PointRecord(std::uint64_t key, double x, double y, double z) {
    return Line("POINT") + Le64(key) + D(x) + D(y) + D(z) + Line("EPOINT");
}
std::string ContourRecord(std::uint64_t key, const std::vector<std::array<double, 3>>& v) {
    std::string s = Line("CONTOUR") + Le64(key) + Le32(static_cast<std::int32_t>(v.size()));
    for (const auto& p : v) s += PointRecord(0, p[0], p[1], p[2]);
    return s + Line("ECONTOUR");
}

std::string Written(const TVisualObject& o) {
    TMemoryStream s;
    WriteObjectRecord(o, s);
    return s.ToString();
}

std::unique_ptr<TVisualObject> Read(const std::string& bytes) {
    TMemoryStream s(bytes);
    auto o = ReadObjectRecord(s);
    EXPECT_TRUE(s.AtEnd());
    return o;
}

}  // namespace

TEST(ObjectKeys, TextAndStoredForm) {
    EXPECT_EQ(KeyToId(1), "00000000000000000001");
    EXPECT_EQ(KeyToId(0xFFFFFFFFFFFFFFFFull), "0000FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IdToKey("00000000000000000001"), 1u);
    EXPECT_EQ(IdToKey("1"), 1u);
    EXPECT_EQ(IdToKey("-1"), 1u);
    EXPECT_EQ(IdToKey("1-2"), 0x102u);
    EXPECT_EQ(IdToKey("ABC"), 0xABCu);
    EXPECT_EQ(IdToKey("abc"), 0xABCu);  // read without regard to case
    EXPECT_EQ(IdToKey(""), 0u);
    EXPECT_EQ(IdToKey("0000FFFFFFFFFFFFFFFF"), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(IdToKey("8000000000000000"), 0x8000000000000000ull);
    EXPECT_THROW(IdToKey("10000000000000000"), EConvertError);
    for (std::uint64_t k : {0ull, 1ull, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, 0xFEDCBA9876543210ull})
        EXPECT_EQ(IdToKey(KeyToId(k)), k);
}

TEST(ObjectRecords, PointBytesBothWays) {
    const std::string bytes = PointRecord(0xABC, 1.5, -2.25, 7);
    auto o = Read(bytes);
    ASSERT_EQ(o->ClassName(), "TPoint");
    const auto& p = static_cast<const TPoint&>(*o);
    EXPECT_EQ(p.Id(), "00000000000000000ABC");
    EXPECT_EQ(p.X(), 1.5);
    EXPECT_EQ(p.Y(), -2.25);
    EXPECT_EQ(p.Z(), 7);
    EXPECT_EQ(p.Parent(), nullptr);
    EXPECT_EQ(Written(p), bytes);
    // Names are read without regard to case and trimmed.
    auto lower = Read(Line(" point ") + Le64(1) + D(0) + D(0) + D(0) + Line("Epoint"));
    EXPECT_EQ(lower->Id(), "00000000000000000001");
}

TEST(ObjectRecords, LineContourPolylineAndPolygonBytes) {
    const std::string line = Line("LINE") + Le64(5) + D(1) + D(2) + D(3) + D(4) + D(5) + D(6) + Line("ELINE");
    auto l = Read(line);
    ASSERT_EQ(l->ClassName(), "TLine");
    EXPECT_EQ(static_cast<TLine&>(*l).Second().Y, 5);
    EXPECT_EQ(Written(*l), line);

    const std::string contour = ContourRecord(9, {{0, 0, 1}, {10, 0, 2}, {10, 10, 3}});
    auto c = Read(contour);
    ASSERT_EQ(c->ClassName(), "TContour");
    EXPECT_EQ(static_cast<TContour&>(*c).Count(), 3);
    EXPECT_EQ(static_cast<TContour&>(*c).Vertex(2).Z, 3);
    EXPECT_EQ(Written(*c), contour);

    const std::string polyline = Line("POLYLINE") + Le64(0x10) + Le32(2) + ContourRecord(0, {{0, 0, 0}, {1, 1, 0}}) +
                                 ContourRecord(0, {{5, 5, 0}, {6, 5, 0}, {7, 4, 0}}) + Line("EPOLYLINE");
    auto pl = Read(polyline);
    ASSERT_EQ(pl->ClassName(), "TPolyLine");
    EXPECT_EQ(static_cast<TPolyLine&>(*pl).Contours().size(), 2u);
    EXPECT_EQ(Written(*pl), polyline);

    const std::string polygon = Line("POLYGON") + Le64(0x11) + Le32(1) +
                                ContourRecord(0, {{0, 0, 0}, {0, 10, 0}, {10, 10, 0}, {10, 0, 0}, {0, 0, 0}}) + Le32(1) +
                                ContourRecord(0, {{4, 4, 0}, {4, 6, 0}, {6, 6, 0}, {6, 4, 0}}) + Line("EPOLYGON");
    auto pg = Read(polygon);
    ASSERT_EQ(pg->ClassName(), "TPolygon");
    auto& g = static_cast<TPolygon&>(*pg);
    EXPECT_EQ(g.Holes().size(), 1u);
    EXPECT_EQ(g.Area(), 96);
    EXPECT_EQ(g.FillStyle(), fsSolid);
    EXPECT_EQ(g.FillColor(), clYellow);
    EXPECT_EQ(Written(g), polygon);
}

TEST(ObjectRecords, ListsAndRegistry) {
    TPoint a(1, 2, 3);
    TLine b({0, 0, 0}, {1, 1, 0});
    const TVisualObject* items[] = {&a, &b};
    TMemoryStream s;
    WriteObjectList(s, items);
    s.Seek(0);
    auto back = ReadObjectList(s);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]->ClassName(), "TPoint");
    EXPECT_EQ(back[1]->ClassName(), "TLine");

    // Another module's class joins the registry.
    struct TMarker : TDrawingShape {
        QString ClassName() const override { return QStringLiteral("TMarker"); }
    };
    EXPECT_FALSE(IsObjectClassRegistered(u"tmarker"));
    RegisterObjectClass(QStringLiteral("TMarker"), [] { return std::make_unique<TMarker>(); });
    EXPECT_TRUE(IsObjectClassRegistered(u"TMARKER"));
    TMarker m;
    m.SetId("7");
    auto r = Read(Written(m));
    EXPECT_EQ(r->ClassName(), "TMarker");
    EXPECT_EQ(r->Id(), "00000000000000000007");
}

TEST(ObjectRecords, BadInputRaises) {
    // An unknown class is named, and the stream is left at its name line.
    {
        TMemoryStream s(Line("CURVE") + Line("ECURVE"));
        try {
            ReadObjectRecord(s);
            FAIL();
        } catch (const EFormatError& e) {
            EXPECT_TRUE(e.Message().contains("TCURVE"));
        }
        EXPECT_EQ(s.Position(), 0);
    }
    // A wrong end line.
    EXPECT_THROW(Read(Line("POINT") + Le64(1) + D(0) + D(0) + D(0) + Line("ELINE")), EFormatError);
    // A stream that ends inside the payload, or before the end line.
    EXPECT_THROW(Read(Line("POINT") + Le64(1) + D(0)), EReadError);
    EXPECT_THROW(Read(Line("POINT") + Le64(1) + D(0) + D(0) + D(0)), EReadError);
    EXPECT_THROW(Read(""), EReadError);
    // Counts beyond the bytes left, and negative counts.
    EXPECT_THROW(Read(Line("CONTOUR") + Le64(0) + Le32(1000000) + PointRecord(0, 0, 0, 0) + Line("ECONTOUR")),
                 EFormatError);
    EXPECT_THROW(Read(Line("POLYLINE") + Le64(0) + Le32(-1) + Line("EPOLYLINE")), EFormatError);
    {
        TMemoryStream s(Le32(0x7FFFFFFF) + PointRecord(0, 0, 0, 0));
        EXPECT_THROW(ReadObjectList(s), EFormatError);
    }
    // A contour holds only vertex records.
    const std::string lineRecord = Line("LINE") + Le64(5) + D(1) + D(2) + D(3) + D(4) + D(5) + D(6) + Line("ELINE");
    EXPECT_THROW(Read(Line("CONTOUR") + Le64(0) + Le32(1) + lineRecord + Line("ECONTOUR")), EFormatError);
    // A polyline holds only contour records.
    EXPECT_THROW(Read(Line("POLYLINE") + Le64(0) + Le32(1) + PointRecord(0, 0, 0, 0) + Line("EPOLYLINE")),
                 EFormatError);
    // A vertex record spelled another way still reads.
    auto c = Read(Line("CONTOUR") + Le64(0) + Le32(1) + Line("point") + Le64(0) + D(4) + D(5) + D(6) +
                  Line(" EPOINT") + Line("ECONTOUR"));
    EXPECT_EQ(static_cast<TContour&>(*c).Vertex(0).Y, 5);
}

// A contour list takes only contour records, refused before they are read:
// 20000 polylines each nested in the one around it (660 KB) end at the
// first nested one, without going 20000 records deep.
TEST(ObjectRecords, ContourListsRefuseOtherRecordsUnread) {
    for (const QByteArray& bytes : {repro::NestedPolylines(20000), repro::NestedPolylines(2)}) {
        TMemoryStream s(bytes);
        try {
            ReadObjectRecord(s);
            FAIL() << "nested records read";
        } catch (const EFormatError& e) {
            EXPECT_TRUE(e.Message().contains(u"CONTOUR")) << e.Message().toStdString();
        }
    }
    // A polygon's holes alike; a single level of each still reads.
    const QByteArray polygon = repro::Line("POLYGON") + repro::Le(1, 8) + repro::I32(1) + repro::ContourRecord() +
                               repro::I32(1) + repro::NestedPolylines(1) + repro::Line("EPOLYGON");
    TMemoryStream holes(polygon);
    EXPECT_THROW(ReadObjectRecord(holes), EFormatError);
    TMemoryStream one(repro::NestedPolylines(1));
    EXPECT_EQ(static_cast<TPolyLine&>(*ReadObjectRecord(one)).Contours().size(), 1u);
}
