#include <gtest/gtest.h>

#include <string>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"

using namespace std::string_literals;

namespace {

std::string I32(std::int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return s;
}

// A road class as the golden bytes below describe it.
void MakeRoad(TThemeClass& c) {
    c.SetThemeClassName(u"Road"_qs);
    c.SetLineColor(clRed);
    c.SetPointStyle(psSymbol);
    c.SetLineStyle(lsDash);
    c.SetLineWidth(3);
    c.SetFillStyle(fsCross);
    TFont f = c.TextFont();
    f.Style = {fsBold, fsItalic};
    c.SetTextFont(f);
    c.SetFromValue(u"1,5"_qs);
    c.SetToValue(u"a=b"_qs);
}

// Written by hand from the format: a list titled "Category" holding the
// road class.
const std::string kRoadList =
    "THEMECLASSES\r\n"s + "Category\r\n" + I32(1) + "THEMECLASS\r\n" + "Road\r\n" +
    I32(0xFF) + I32(1) + "Arial,12,255,[]\r\n" + "\x95" + "none\r\n" + I32(2) + I32(3) + I32(0xFFFF) + I32(3) +
    "none\r\n" + "Arial,10,255,[01]\r\n" + I32(256) + "1,5\r\n" + "=a=b\r\n" + "ETHEMECLASS\r\n" +
    "ETHEMECLASSES\r\n";

TEST(ThemeClass, DefaultsAndPropertyWrites) {
    TThemeClass c;
    EXPECT_EQ(c.LineColor(), 0);
    EXPECT_EQ(c.PointStyle(), psPoint);
    EXPECT_EQ(c.Symbol(), 149);
    EXPECT_EQ(c.LineStyle(), lsSolid);
    EXPECT_EQ(c.FillStyle(), fsSolid);
    EXPECT_EQ(c.FillColor(), 0xFFFF);
    EXPECT_EQ(c.LineWidth(), 1);
    EXPECT_EQ(c.SymbolFont(), (TFont{u"Arial"_qs, 12, 0, {}}));
    EXPECT_EQ(c.TextFont(), (TFont{u"Arial"_qs, 10, 0, {}}));
    EXPECT_TRUE(c.Bitmap().isNull());

    int changes = 0;
    TColor textColorSeen = -1;
    c.OnChange = [&](TThemeClass& s) {
        ++changes;
        textColorSeen = s.TextFont().Color;
    };
    c.SetLineColor(clRed);  // recolours both fonts before notifying
    EXPECT_EQ(textColorSeen, clRed);
    EXPECT_EQ(c.SymbolFont().Color, clRed);
    c.SetTextFont(TFont{u"Arial"_qs, 10, clBlue, {}});
    EXPECT_EQ(c.TextFont().Color, clBlue);
    EXPECT_EQ(c.SymbolFont().Color, clRed);
    c.SetLineWidth(1);
    c.SetLineWidth(1);  // unchanged values notify as well
    EXPECT_EQ(changes, 4);

    c.SetBitmap(QImage(16, 16, QImage::Format_ARGB32));
    EXPECT_TRUE(c.Bitmap().isNull());
    c.SetBitmap(QImage(8, 8, QImage::Format_ARGB32));
    EXPECT_FALSE(c.Bitmap().isNull());
    c.SetFillTexture(QImage(8, 9, QImage::Format_ARGB32));
    EXPECT_TRUE(c.FillTexture().isNull());

    // Updates gather writes into one notification.
    changes = 0;
    c.BeginUpdate();
    c.SetFillColor(1);
    c.SetFillColor(2);
    EXPECT_EQ(changes, 0);
    c.EndUpdate();
    EXPECT_EQ(changes, 1);
}

TEST(ThemeClass, AssignToCopiesEverythingWithOneNotification) {
    TThemeClass a, b;
    MakeRoad(a);
    a.SetBitmap(QImage(8, 8, QImage::Format_ARGB32));
    int changes = 0;
    b.OnChange = [&](TThemeClass&) { ++changes; };
    a.AssignTo(&b);
    a.AssignTo(nullptr);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(b.ThemeClassName(), u"Road");
    EXPECT_EQ(b.LineColor(), clRed);
    EXPECT_EQ(b.PointStyle(), psSymbol);
    EXPECT_EQ(b.LineStyle(), lsDash);
    EXPECT_EQ(b.LineWidth(), 3);
    EXPECT_EQ(b.FillStyle(), fsCross);
    EXPECT_EQ(b.TextFont(), a.TextFont());
    EXPECT_EQ(b.SymbolFont(), a.SymbolFont());
    EXPECT_FALSE(b.Bitmap().isNull());
    EXPECT_EQ(b.FromValue(), u"1,5");
    EXPECT_EQ(b.ToValue(), u"a=b");
}

TEST(ThemeClasses, AddAndIndexOfNameIgnoreCaseAndBlanks) {
    TThemeClasses list;
    int changes = 0;
    list.OnChange = [&](TThemeClasses&) { ++changes; };
    EXPECT_EQ(list.Add(u"ROAD"_qs), 0);
    EXPECT_EQ(list.Add(u" road "_qs), 0);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.IndexOfName(u"Road"_qs), 0);
    EXPECT_EQ(list.IndexOfName(u"Rail"_qs), -1);
    EXPECT_EQ(list.Find(u"rail"_qs), nullptr);
    EXPECT_THROW(list.GetItem(1), EEngineError);
    list.Add(u"Rail"_qs);
    auto rail = list.Extract(1);
    EXPECT_EQ(rail->ThemeClassName(), u"Rail");
    EXPECT_EQ(list.GetCount(), 1);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(changes, 4);
}

TEST(ThemeClasses, GoldenBytesAndRoundTrip) {
    TThemeClasses list;
    list.Add(u"Road"_qs);
    MakeRoad(*list.GetItem(0));
    TMemoryStream out;
    list.SaveToStream(out);
    EXPECT_EQ(out.ToString(), kRoadList);

    TThemeClasses back;
    int changes = 0;
    back.OnChange = [&](TThemeClasses&) { ++changes; };
    TMemoryStream in(kRoadList);
    back.LoadFromStream(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(changes, 0);  // reading does not notify
    ASSERT_EQ(back.GetCount(), 1);
    const TThemeClass& c = *back.GetItem(0);
    EXPECT_EQ(c.TextFont().Style, (TFontStyles{fsBold, fsItalic}));
    EXPECT_EQ(c.ToValue(), u"a=b");
    TMemoryStream again;
    back.SaveToStream(again);
    EXPECT_EQ(again.ToString(), kRoadList);
}

TEST(ThemeClasses, AwkwardValuesRoundTrip) {
    TThemeClasses list;
    list.SetTitle(u"  Classes = by value "_qs);
    const QString values[] = {u" x"_qs, u"y "_qs, u"=5"_qs, u"=="_qs, u"a = b = c"_qs, u"\tTab"_qs, u""_qs,
                              u"Inventário"_qs};
    for (const QString& v : values) {
        const int i = list.Add(u"c"_qs + QString::number(list.GetCount()));
        list.GetItem(i)->SetFromValue(v);
        list.GetItem(i)->SetToValue(v);
        list.GetItem(i)->SetThemeClassName(u" "_qs + v);
    }
    TFont odd{u"Sym=bol"_qs, 9, 7, {fsUnderline}};
    list.GetItem(0)->SetSymbolFont(odd);
    TMemoryStream out;
    list.SaveToStream(out);
    TMemoryStream in(out.ToString());
    TThemeClasses back;
    back.LoadFromStream(in);
    ASSERT_EQ(back.GetCount(), list.GetCount());
    EXPECT_EQ(back.Title(), list.Title());
    for (int i = 0; i < list.GetCount(); ++i) {
        EXPECT_EQ(back.GetItem(i)->FromValue(), list.GetItem(i)->FromValue()) << i;
        EXPECT_EQ(back.GetItem(i)->ToValue(), list.GetItem(i)->ToValue()) << i;
        EXPECT_EQ(back.GetItem(i)->ThemeClassName(), list.GetItem(i)->ThemeClassName()) << i;
    }
    EXPECT_EQ(back.GetItem(0)->SymbolFont(), odd);
    TMemoryStream again;
    back.SaveToStream(again);
    EXPECT_EQ(again.ToString(), out.ToString());
}

TEST(ThemeClasses, OlderKeyLinesReadAsBefore) {
    // A value line of the form key=value gives the text after the first
    // "=", and a padded ordinary line is trimmed.
    TMemoryStream s("From=10\r\n  20  \r\n"s);
    EXPECT_EQ(ReadValueLine(s), u"10");
    EXPECT_EQ(ReadValueLine(s), u"20");
    EXPECT_THROW(ReadValueLine(s), EReadError);
    TMemoryStream f("Font=Arial,12,255,[0]\r\n"s);
    EXPECT_EQ(ReadFontLine(f), (TFont{u"Arial"_qs, 12, 255, {fsBold}}));
}

TEST(ThemeClasses, UnknownClassFailsWithoutAppendingAndKeepsPosition) {
    std::string bytes = kRoadList;
    // Two records, the second of an unknown class.
    const std::string head = "THEMECLASSES\r\nCategory\r\n"s + I32(1);
    const std::string record = kRoadList.substr(head.size(), kRoadList.size() - head.size() - 15);
    const std::string bad = "THEMECLASSES\r\nCategory\r\n"s + I32(2) + record + "FOO\r\n" + record.substr(12);
    TThemeClasses list;
    list.Add(u"Kept"_qs);
    TMemoryStream s(bad);
    try {
        list.LoadFromStream(s);
        FAIL() << "no error";
    } catch (const EFormatError& e) {
        EXPECT_TRUE(e.Message().contains(u"TFOO")) << e.Message().toStdString();
    }
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(head.size() + record.size()));
    EXPECT_EQ(StreamReadLine(s), u"FOO");
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetItem(0)->ThemeClassName(), u"Kept");
}

TEST(ThemeClasses, DamagedStreamsRaiseAndChangeNothing) {
    // Every truncation of the golden list before the record's closing line
    // fails the read; the list keeps what it had. (A last line cut short is
    // still a line.)
    for (std::size_t n = 0; n + 15 + 13 + 6 < kRoadList.size(); ++n) {
        TThemeClasses list;
        TMemoryStream s(kRoadList.substr(0, n));
        EXPECT_THROW(list.LoadFromStream(s), EEngineError) << n;
        EXPECT_EQ(list.GetCount(), 0);
    }
    // A font size that is no integer, a foreign code, a huge count.
    std::string badFont = kRoadList;
    badFont.replace(badFont.find("Arial,12"), 8, "Arial,xx");
    TThemeClasses list;
    TMemoryStream s1(badFont);
    EXPECT_THROW(list.LoadFromStream(s1), EConvertError);
    std::string badCode = kRoadList;
    badCode.replace(badCode.find("Road\r\n") + 6 + 4, 4, I32(77));
    TMemoryStream s2(badCode);
    EXPECT_THROW(list.LoadFromStream(s2), EFormatError);
    TMemoryStream s3("THEMECLASSES\r\nT\r\n"s + I32(0x7FFFFFFF));
    EXPECT_THROW(list.LoadFromStream(s3), EFormatError);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(ThemeClass, BlockReadsDirectlyOrThroughWrites) {
    TThemeClass road;
    MakeRoad(road);
    TFont sym = road.SymbolFont();
    sym.Color = clGreen;
    road.SetSymbolFont(sym);
    TMemoryStream block;
    road.WriteBlock(block);

    // Through the writes: the fonts keep their own colours, one notification.
    TThemeClass loaded;
    loaded.SetBitmap(QImage(8, 8, QImage::Format_ARGB32));
    int changes = 0;
    loaded.OnChange = [&](TThemeClass&) { ++changes; };
    TMemoryStream in(block.ToString());
    loaded.LoadBlock(in);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(loaded.SymbolFont().Color, clGreen);
    EXPECT_EQ(loaded.TextFont(), road.TextFont());
    EXPECT_EQ(loaded.LineColor(), clRed);
    EXPECT_EQ(loaded.LineWidth(), 3);
    EXPECT_TRUE(loaded.Bitmap().isNull());

    // Directly: no notification.
    TThemeClass direct;
    direct.OnChange = [&](TThemeClass&) { ++changes; };
    TMemoryStream in2(block.ToString());
    direct.ReadBlock(in2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(direct.SymbolFont().Color, clGreen);
    TMemoryStream again;
    direct.WriteBlock(again);
    EXPECT_EQ(again.ToString(), block.ToString());

    // A short block changes nothing.
    TMemoryStream shortBlock(block.ToString().substr(0, 10));
    TThemeClass untouched;
    EXPECT_THROW(untouched.LoadBlock(shortBlock), EEngineError);
    EXPECT_EQ(untouched.LineColor(), 0);
}

}  // namespace
