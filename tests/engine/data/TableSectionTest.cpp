// The table section and the grid's column blocks: hand-made golden bytes
// and byte round trips.
#include "DataFixture.h"

#include <QApplication>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/data/LayerTable.h"
#include "engine/view/GISDBGrid.h"

namespace {

QByteArray Crlf(std::initializer_list<const char*> lines) {
    QByteArray b;
    for (const char* l : lines) b += QByteArray(l) + "\r\n";
    return b;
}

QByteArray Int32(std::int32_t v) {
    TMemoryStream s;
    WriteInt32(s, v);
    return s.ToByteArray();
}

const QByteArray kSection = Crlf({"LAYERTABLE", "c:\\dados", "lotes", "JOINDATASET", "c:\\dados", "donos", "MAPPINGS",
                                  "layer.CODE=A.CODE", "layer.SUB=A.SUB", "EMAPPINGS", "EJOINDATASET", "JOINDATASET",
                                  "c:\\dados", "ruas", "MAPPINGS", "layer.RUA=D.RUA", "EMAPPINGS", "EJOINDATASET",
                                  "BDECALCFIELD", "DOBRO", "layer.CODE * 2", "EBDECALCFIELD",
                                  "Condition=\"layer.CODE > 1\",AND,\"layer.X = 'a, b'\"", "ELAYERTABLE"});

TEST(TableSection, ClosedSectionReadsAndWritesTheSameBytes) {
    TMemoryStream in;
    in.Write(kSection.constData(), static_cast<std::size_t>(kSection.size()));
    in.Seek(0);
    TLayerTable t;
    t.LoadFromStream(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(t.TableName(), QStringLiteral("lotes"));
    // Reloaded joins keep their letters.
    EXPECT_EQ(t.GetJoinAliases(), (QStringList{"A", "D"}));
    EXPECT_EQ(t.ConditionList(), (QStringList{"layer.CODE > 1", "AND", "layer.X = 'a, b'"}));
    EXPECT_EQ(t.CalcFields(), QStringList{"DOBRO=layer.CODE * 2"});
    EXPECT_TRUE(t.SQL().contains(QStringLiteral(", D.*")));
    EXPECT_TRUE(t.SQL().contains(QStringLiteral("WHERE")));
    TMemoryStream out;
    t.SaveToStream(out);
    EXPECT_EQ(out.ToByteArray(), kSection);
}

TEST(TableSection, EndTagMustBeThereAndMatchTheReader) {
    // Without its end tag the section is an error, not an endless loop.
    const QByteArray cut = kSection.left(kSection.size() - 13);
    TMemoryStream a;
    a.Write(cut.constData(), static_cast<std::size_t>(cut.size()));
    a.Seek(0);
    TLayerTable t;
    EXPECT_THROW(t.LoadFromStream(a), EReadError);
    // A table reads up to its own end tag only.
    TMemoryStream b;
    b.Write(kSection.constData(), static_cast<std::size_t>(kSection.size()));
    b.Seek(0);
    TGISTable g;
    EXPECT_THROW(g.LoadFromStream(b), EReadError);
    // Mappings with no join before them are bad data.
    const QByteArray orphan = Crlf({"GISTABLE", "", "x", "MAPPINGS", "a=b", "EMAPPINGS", "EJOINDATASET", "EGISTABLE"});
    TMemoryStream c;
    c.Write(orphan.constData(), static_cast<std::size_t>(orphan.size()));
    c.Seek(0);
    TGISTable h;
    EXPECT_THROW(h.LoadFromStream(c), EFormatError);
}

class OpenSection : public DataFixture {};

TEST_F(OpenSection, FieldBlocksKeepTheDisplaySettings) {
    TGISTable t;
    t.SetTableDatabase(folder);
    t.SetTableName(QStringLiteral("parcels"));
    t.Open();
    t.FieldByName(QStringLiteral("NAME"))->SetDisplayLabel(QStringLiteral("Nome do lote"));
    t.FieldByName(QStringLiteral("NAME"))->SetEditMask(QStringLiteral(">aaa"));
    t.FieldByName(QStringLiteral("HA"))->SetDisplayFormat(QStringLiteral("0.00"));
    t.FieldByName(QStringLiteral("CODE"))->SetVisible(false);
    TMemoryStream out;
    t.SaveToStream(out);
    const QByteArray bytes = out.ToByteArray();
    const TField* name = t.FieldByName(QStringLiteral("NAME"));
    const QByteArray nameBlock = Crlf({"FIELD", "NAME"}) + Int32(1) + QByteArray("\x01\x00", 2) +
                                 Int32(name->DisplayWidth()) + Crlf({"Nome do lote"}) + Int32(name->Size()) +
                                 Crlf({">aaa", "EFIELD"});
    EXPECT_TRUE(bytes.contains(nameBlock));
    const QByteArray haBlock = Crlf({"FIELD", "HA"}) + Int32(6);
    EXPECT_TRUE(bytes.contains(haBlock));
    EXPECT_TRUE(bytes.endsWith(Crlf({"EFIELD", "EGISTABLE"})));

    TGISTable u;
    out.Seek(0);
    u.LoadFromStream(out);
    u.Open();
    EXPECT_EQ(u.FieldByName(QStringLiteral("NAME"))->DisplayLabel(), QStringLiteral("Nome do lote"));
    EXPECT_EQ(u.FieldByName(QStringLiteral("NAME"))->EditMask(), QStringLiteral(">aaa"));
    EXPECT_EQ(u.FieldByName(QStringLiteral("HA"))->DisplayFormat(), QStringLiteral("0.00"));
    EXPECT_FALSE(u.FieldByName(QStringLiteral("CODE"))->Visible());
    TMemoryStream again;
    u.SaveToStream(again);
    EXPECT_EQ(again.ToByteArray(), bytes);
    // Settings survive a close and open.
    u.Close();
    u.Open();
    EXPECT_EQ(u.FieldByName(QStringLiteral("NAME"))->DisplayLabel(), QStringLiteral("Nome do lote"));
}

TEST(GridColumns, GoldenBytesAndRoundTrip) {
    int argc = 1;
    char arg0[] = "test";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    TGISDBGrid grid;
    TMemoryStream empty;
    grid.WriteColumns(empty);
    EXPECT_EQ(empty.ToByteArray(), Int32(0));

    TColumn c;
    c.FieldName = QStringLiteral("NOME");
    c.Alignment = taCenter;
    c.Color = static_cast<TColor>(0x00FF00);
    c.ReadOnly = true;
    c.ButtonStyle = cbsEllipsis;
    c.DropDownRows = 5;
    c.PickList = {QStringLiteral("um"), QStringLiteral("dois tres")};
    c.Width = 120;
    c.Font = TFont{QStringLiteral("Arial"), 9, static_cast<TColor>(255), TFontStyles{fsBold}};
    c.Title.Alignment = taRightJustify;
    c.Title.Color = static_cast<TColor>(0x808080);
    c.Title.Caption = QStringLiteral("Nome");
    c.Title.Font = TFont{QStringLiteral("Courier New"), 10, static_cast<TColor>(0), TFontStyles{}};
    grid.Columns().push_back(c);
    TMemoryStream out;
    grid.WriteColumns(out);
    // Alignment codes are the ordinals: centre 2, right 1.
    const QByteArray golden = Int32(1) + Crlf({"COLUMN", "NOME"}) + Int32(2) + Int32(0x00FF00) + QByteArray("\x01", 1) +
                              Int32(1) + Int32(5) + Crlf({"um,\"dois tres\""}) + Int32(120) +
                              Crlf({"Arial,9,255,[0]"}) + Int32(1) + Int32(0x808080) +
                              Crlf({"Nome", "Courier New,10,0,[]", "ECOLUMN"});
    EXPECT_EQ(out.ToByteArray(), golden);
    TGISDBGrid other;
    out.Seek(0);
    other.ReadColumns(out);
    ASSERT_EQ(other.Columns().size(), 1u);
    EXPECT_EQ(other.Columns()[0].PickList, c.PickList);
    EXPECT_EQ(other.Columns()[0].Title.Font, c.Title.Font);
    TMemoryStream again;
    other.WriteColumns(again);
    EXPECT_EQ(again.ToByteArray(), golden);
    // A count larger than the bytes left is refused before reading.
    TMemoryStream bad;
    WriteInt32(bad, 1000);
    bad.Seek(0);
    EXPECT_THROW(other.ReadColumns(bad), EFormatError);
}

}  // namespace
