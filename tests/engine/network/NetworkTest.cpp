// Graph nodes: links, records by hand-made bytes, copies of nodes read
// from a file, forwarded hit tests and the marker drawn at the object.
#include <gtest/gtest.h>

#include <limits>

#include <QImage>
#include <QPainter>

#include "TestOwner.h"
#include "core/Stream.h"
#include "engine/network/Network.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"

namespace {

std::string Key(std::uint64_t k) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((k >> (8 * i)) & 0xFF);
    return s;
}

const std::string kTwoLinks = "GRAPHNODE\r\n" + Key(7) +
                              "NodeClass=4\r\nRepresentationId=00000000000000000009\r\nCount=2\r\n"
                              "NodeId=A1\r\nArcId=B1\r\nNodeId=A2\r\nArcId=B2\r\nEGRAPHNODE\r\n";

}  // namespace

TEST(GraphNode, LinksAndNoSelfLinks) {
    TGraphNode a, b;
    a.SetId("1");
    b.SetId("2");
    TLine arc;
    arc.SetId("3");
    EXPECT_EQ(a.Links().AddLink(&a, &arc), nullptr);
    EXPECT_EQ(a.Links().Count(), 0);
    a.Links().AddLink(&b, &arc);
    a.Links().AddLink(&b, &arc);  // duplicates are allowed
    a.Links().AddLink(&b, nullptr);
    ASSERT_EQ(a.Links().Count(), 3);
    EXPECT_EQ(a.Links().Link(0).NodeId(), "2");
    EXPECT_EQ(a.Links().Link(0).ArcId(), "3");
    EXPECT_EQ(a.Links().Link(2).ArcId(), "");
    EXPECT_THROW(a.Links().Link(3), EListError);
}

TEST(GraphNode, RecordsReadBackUnresolvedAndWriteTheSameBytes) {
    RegisterGraphClasses();
    TMemoryStream s(kTwoLinks);
    auto o = ReadObjectRecord(s);
    auto& n = dynamic_cast<TGraphNode&>(*o);
    EXPECT_EQ(n.Id(), "00000000000000000007");
    EXPECT_EQ(n.NodeClass(), 4);
    EXPECT_EQ(n.RepresentationId(), "00000000000000000009");
    EXPECT_EQ(n.Representation(), nullptr);
    ASSERT_EQ(n.Links().Count(), 2);
    EXPECT_EQ(n.Links().Link(1).NodeId(), "A2");
    EXPECT_EQ(n.Links().Link(1).ArcId(), "B2");
    EXPECT_EQ(n.Links().Link(1).Neighbour(), nullptr);
    TMemoryStream out;
    WriteObjectRecord(n, out);
    EXPECT_EQ(out.ToString(), kTwoLinks);

    // A copy of a node read from a file keeps the stored keys.
    auto copy = n.Clone();
    auto& c = dynamic_cast<TGraphNode&>(*copy);
    EXPECT_EQ(c.NodeClass(), 4);
    EXPECT_EQ(c.RepresentationId(), "00000000000000000009");
    ASSERT_EQ(c.Links().Count(), 2);
    EXPECT_EQ(c.Links().Link(0).NodeId(), "A1");
    EXPECT_EQ(c.Links().Link(0).Owner(), &c);

    for (const char* bad : {"NodeClass=x\r\nRepresentationId=\r\nCount=0\r\n",
                            "NodeClass=1\r\nRepresentationId=\r\nCount=two\r\n"}) {
        TMemoryStream b("GRAPHNODE\r\n" + Key(1) + bad + "EGRAPHNODE\r\n");
        EXPECT_THROW(ReadObjectRecord(b), EConvertError);
    }
    // A count beyond what the stream holds is refused before reading.
    TMemoryStream big("GRAPHNODE\r\n" + Key(1) + "NodeClass=1\r\nRepresentationId=\r\nCount=99999\r\nEGRAPHNODE\r\n");
    EXPECT_THROW(ReadObjectRecord(big), EFormatError);
}

TEST(GraphNode, ResolvedThroughACompleteNetwork) {
    TTestOwner nodes, objects, arcs;
    TPoint p(5, 5);
    p.SetId("00000000000000000009");
    objects.Adopt(p);
    TGraphNetwork net;
    net.ObjectLayer = &objects;
    net.NodeLayer = &nodes;
    TGraphNode half;
    half.SetNetwork(&net);
    TMemoryStream s1(kTwoLinks);
    s1.Seek(11);
    half.LoadFromStream(s1);
    EXPECT_EQ(half.Representation(), nullptr);  // the network lacks a layer
    net.ArcLayer = &arcs;
    TGraphNode full;
    full.SetNetwork(&net);
    TMemoryStream s2(kTwoLinks);
    s2.Seek(11);
    full.LoadFromStream(s2);
    EXPECT_EQ(full.Representation(), &p);

    // Hit tests go to the represented object.
    EXPECT_TRUE(full.InRect(0, 0, 10, 10));
    EXPECT_TRUE(full.CrossesRect(5, 5, 6, 6));
    EXPECT_FALSE(half.CrossesRect(5, 5, 6, 6));
    EXPECT_EQ(half.DistanceTo(p), 0);
    full.Move(1, 1);
    EXPECT_EQ(p.X(), 5);
}

TEST(GraphNode, SameAs) {
    TGraphNode a, b;
    TPoint p1(1, 1), p2(1, 1), p3(2, 2);
    p1.SetId("9");
    p3.SetId("9");
    EXPECT_TRUE(a.SameAs(b));  // both unrepresented, both keys empty
    a.SetRepresentation(&p1);
    EXPECT_FALSE(a.SameAs(b));
    b.SetRepresentation(&p2);
    EXPECT_TRUE(a.SameAs(b));  // the points coincide
    b.SetRepresentation(&p3);
    EXPECT_FALSE(a.SameAs(b));
    EXPECT_FALSE(a.SameAs(p1));
}

TEST(GraphNode, MarkerAtTheObjectInsideTheView) {
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    TLinearDrawContext dc(painter, img.size(), 0, 100, 1);
    TLine line(TVertex{20, 20, 0}, TVertex{40, 60, 0});
    TGraphNode n;
    n.SetLineColor(clRed);
    n.SetLineWidth(3);
    n.SetRepresentation(&line);
    n.Redraw(dc);
    TLine away(TVertex{200, 200, 0}, TVertex{300, 300, 0});
    TGraphNode outside;
    outside.SetRepresentation(&away);
    outside.SetLineWidth(50);
    outside.Redraw(dc);
    painter.end();
    // The centre (30, 40) is the pixel (30, 60).
    EXPECT_EQ(img.pixel(30, 60), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(30, 66), qRgb(255, 255, 255));
    int lit = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) lit += img.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(lit, 10);
    EXPECT_LT(lit, 120);  // a dot of radius 3 with a 3-pixel pen, and no other
}

TEST(GraphNode, CutOrChangedRecordsRaiseTheEnginesError) {
    RegisterGraphClasses();
    // Cut anywhere before the closing lines, a node record raises.
    const std::size_t closing = kTwoLinks.size() - std::string("ArcId=B2\r\nEGRAPHNODE\r\n").size();
    for (std::size_t n = 0; n < closing; ++n) {
        TMemoryStream s(kTwoLinks.substr(0, n));
        EXPECT_THROW(ReadObjectRecord(s), EEngineError) << n;
    }
    for (std::size_t i = 0; i < kTwoLinks.size(); ++i)
        for (char b : {'\0', '\r', '9', '-', '\xFF'}) {
            std::string d = kTwoLinks;
            d[i] = b;
            TMemoryStream s(d);
            try {
                ReadObjectRecord(s);
            } catch (const EEngineError&) {
            }
        }
}

TEST(GraphNode, MarkerOfAnyStoredWidthDrawsWithoutOverflow) {
    // A line width from a damaged layer file, at the integer limits.
    QImage img(50, 50, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    TLinearDrawContext dc(painter, img.size(), 0, 50, 1);
    TLine line(TVertex{20, 20, 0}, TVertex{30, 30, 0});
    for (int w : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), -5}) {
        TGraphNode n;
        n.SetLineWidth(w);
        n.SetRepresentation(&line);
        n.Redraw(dc);
    }
    painter.end();
    EXPECT_NE(img.pixel(25, 25), qRgb(255, 255, 255));
}
