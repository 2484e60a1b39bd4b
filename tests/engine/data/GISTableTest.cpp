// The composed attribute query over dBase tables, checked against the
// sqlite3 shell running the same SQL over an ogr2ogr import of the data.
#include "DataFixture.h"

#include "core/Errors.h"
#include "engine/data/GISTable.h"

namespace {

class GISTableTest : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        t.SetTableDatabase(folder);
        t.SetTableName(QStringLiteral("parcels"));
    }
    TGISTable t;
};

TEST_F(GISTableTest, ComposesTheTextFromItsParts) {
    const QString q = TGISDataSet::QuotedTableName(folder, QStringLiteral("parcels"));
    EXPECT_EQ(t.SQL(), (QStringList{"SELECT", "layer.*", "FROM", q + " layer"}));
    t.Open();
    ASSERT_TRUE(t.AddJoin(folder, QStringLiteral("owners"), {QStringLiteral("layer.CODE=A.CODE"), QStringLiteral("A.CODE=A.CODE")}));
    // Joining the same table again changes nothing.
    EXPECT_FALSE(t.AddJoin(folder, QStringLiteral("OWNERS"), {QStringLiteral("layer.CODE=A.CODE")}));
    // After a two-mapping join the next letter is "D".
    EXPECT_EQ(t.GetJoinAliases(), QStringList{"A"});
    EXPECT_EQ(TGISDataSet::NextAliasFor(3), QStringLiteral("D"));
    t.AddCalcField(QStringLiteral("DOBRO"), QStringLiteral("layer.CODE * 2"));
    const QString qo = TGISDataSet::QuotedTableName(folder, QStringLiteral("owners"));
    EXPECT_EQ(t.SQL(), (QStringList{"SELECT", "layer.*", ", A.*", ", layer.CODE * 2 AS DOBRO", "FROM", q + " layer",
                                    "LEFT OUTER JOIN " + qo + " A ON", "(layer.CODE = A.CODE)", "AND (A.CODE = A.CODE)"}));
    EXPECT_EQ(t.GetJoinAlias(folder, QStringLiteral("parcels")), QStringLiteral("layer"));
    EXPECT_EQ(t.GetJoinAlias(folder, QStringLiteral("Owners")), QStringLiteral("A"));
    EXPECT_EQ(t.GetJoinDatabases(), (QStringList{folder.toLower(), folder.toLower()}));
    EXPECT_EQ(t.GetAliasFields(QStringLiteral("A")), (QStringList{"CODE", "OWNER"}));
    // Result fields: the base table's, then the join's, then the calculated one.
    EXPECT_EQ(t.QualifiedFieldName(1), QStringLiteral("layer.\"CODE\""));
    EXPECT_EQ(t.QualifiedFieldName(6), QStringLiteral("A.\"OWNER\""));
    EXPECT_EQ(t.FieldTableAlias(6), QStringLiteral("A"));
    EXPECT_EQ(t.FieldIndexInTable(6), 1);
    EXPECT_EQ(t.QualifiedFieldName(7), QStringLiteral("\"DOBRO\""));
    EXPECT_EQ(t.FindFieldByQualifiedName(QStringLiteral("A.\"OWNER\"")), t.Fields(6));

    // CreateQuery with and without a kept condition; no "WHERE ()".
    auto q1 = t.CreateQuery(QString());
    EXPECT_FALSE(q1->SQL().contains(QStringLiteral("WHERE")));
    auto q2 = t.CreateQuery(QStringLiteral("layer.CODE = :c"));
    EXPECT_EQ(q2->SQL().mid(q2->SQL().size() - 2), (QStringList{"WHERE", "(layer.CODE = :c)"}));
    t.Close();
    t.SetConditionList({QStringLiteral("layer.HA > 1")});
    auto q3 = t.CreateQuery(QStringLiteral("layer.CODE = :c"));
    EXPECT_EQ(q3->SQL().mid(q3->SQL().size() - 5),
              (QStringList{"WHERE", "(", "layer.HA > 1", ") AND ", "(layer.CODE = :c)"}));
    q3->ParamByName(QStringLiteral("c")).SetAsInteger(20);
    q3->Open();
    EXPECT_EQ(Rows(*q3, {"ID"}), Oracle("SELECT ID FROM parcels WHERE HA > 1 AND CODE = 20"));
}

TEST_F(GISTableTest, JoinOrderAndCalculatedFieldsMatchSqlite) {
    t.Open();
    ASSERT_TRUE(t.AddJoin(folder, QStringLiteral("owners"), {QStringLiteral("layer.CODE=A.CODE")}));
    EXPECT_EQ(t.RecordCount(), 7);  // one record per parcel
    t.SetOrder(QStringLiteral("BAIRRO"), true);
    t.SetOrder(QStringLiteral("ID"), false);
    EXPECT_EQ(Rows(t, {"ID", "NAME", "OWNER"}),
              Oracle("SELECT p.ID, p.NAME, o.OWNER FROM parcels p LEFT OUTER JOIN owners o ON p.CODE = o.CODE "
                     "ORDER BY p.BAIRRO ASC, p.ID DESC"));
    // Ordering again by a field already in the order replaces its term.
    t.SetOrder(QStringLiteral("BAIRRO"), false);
    EXPECT_EQ(t.OrderList(), (QStringList{"layer.\"BAIRRO\" DESC", ", layer.\"ID\" DESC"}));
    EXPECT_EQ(Rows(t, {"ID"}), Oracle("SELECT ID FROM parcels ORDER BY BAIRRO DESC, ID DESC"));

    t.AddCalcField(QStringLiteral("A"), QStringLiteral("layer.CODE * 2 + layer.HA"));
    EXPECT_EQ(Rows(t, {"ID", "A"}),
              Oracle("SELECT ID, CODE * 2 + HA FROM parcels ORDER BY BAIRRO DESC, ID DESC"));
    // Removing the field called "A" takes out exactly that field: the join
    // of alias A stays.
    t.RemoveCalcField(QStringLiteral("A"));
    EXPECT_TRUE(t.CalcFields().isEmpty());
    EXPECT_EQ(t.GetJoinCount(), 1);
    EXPECT_EQ(t.JoinLines().size(), 2);
    EXPECT_NE(t.FindField(QStringLiteral("OWNER")), nullptr);

    t.ClearOrder();
    EXPECT_TRUE(t.OrderList().isEmpty());
    t.ResetToBaseTable();
    EXPECT_EQ(t.GetJoinCount(), 0);
    EXPECT_EQ(t.FindField(QStringLiteral("OWNER")), nullptr);
}

TEST_F(GISTableTest, RejectedChangesRestoreThePartsAndRaise) {
    t.Open();
    ASSERT_TRUE(t.AddJoin(folder, QStringLiteral("owners"), {QStringLiteral("layer.CODE=A.CODE")}));
    const QStringList sql = t.SQL();
    EXPECT_THROW(t.AddCalcField(QStringLiteral("X"), QStringLiteral("layer.NOSUCH + 1")), EDatabaseError);
    EXPECT_EQ(t.SQL(), sql);
    EXPECT_TRUE(t.Active());
    EXPECT_THROW(t.AddJoin(folder, QStringLiteral("parcels"), {QStringLiteral("layer.NOSUCH=B.ID")}), EDatabaseError);
    EXPECT_EQ(t.SQL(), sql);
    EXPECT_EQ(t.GetJoinCount(), 1);
    EXPECT_TRUE(t.Active());
    EXPECT_THROW(t.AddJoin(folder, QStringLiteral("missing"), {QStringLiteral("layer.ID=B.ID")}), EDatabaseError);
    EXPECT_EQ(t.GetJoinCount(), 1);
    EXPECT_THROW(t.SetOrder(QStringLiteral("NOSUCH"), true), EDatabaseError);
    EXPECT_EQ(t.SQL(), sql);
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), 7);
}

TEST_F(GISTableTest, ValueListsMatchSqlite) {
    t.Open();
    ASSERT_TRUE(t.AddJoin(folder, QStringLiteral("owners"), {QStringLiteral("layer.CODE=A.CODE")}));
    // First occurrence order; strings quoted; numbers with ".".
    QStringList expected;
    for (const QString& v : Oracle("SELECT IFNULL(BAIRRO, '#') FROM parcels GROUP BY BAIRRO ORDER BY MIN(ogc_fid)").split(u'\n'))
        expected << (v == u"#" ? QStringLiteral("\"\"") : u'"' + v + u'"');
    EXPECT_EQ(t.GetAliasFieldValues(QStringLiteral("layer"), QStringLiteral("bairro")), expected);
    EXPECT_EQ(NormalizeCells(t.GetJoinFieldValues(folder, QStringLiteral("parcels"), QStringLiteral("HA")).join(u'\n')),
              Oracle("SELECT HA FROM parcels GROUP BY HA ORDER BY MIN(ogc_fid)"));
    EXPECT_EQ(t.GetAliasFieldValues(QStringLiteral("A"), QStringLiteral("CODE")).join(u'\n'),
              Oracle("SELECT CODE FROM owners"));
    EXPECT_TRUE(t.GetAliasFieldValues(QStringLiteral("Z"), QStringLiteral("CODE")).isEmpty());
}

TEST_F(GISTableTest, SummaryIsOneGroupedQuery) {
    t.Open();
    QStringList lines{"0_code", "1_code", "2_ha", "3_Name"};
    t.Summarize(folder, QStringLiteral("resumo"), lines, QStringLiteral("bairro"));
    EXPECT_EQ(lines, (QStringList{"0_CODE", "1_CODE", "2_HA", "3_NAME"}));
    TTable r;
    r.SetDatabaseName(folder);
    r.SetTableName(QStringLiteral("resumo"));
    r.Open();
    EXPECT_EQ(r.FieldNames(), (QStringList{"BAIRRO", "COUNT", "SUM_CODE", "AVG_CODE", "MIN_HA", "MAX_NAME"}));
    EXPECT_EQ(r.FieldByName(QStringLiteral("AVG_CODE"))->DataType(), ftFloat);
    EXPECT_EQ(Rows(r, {"BAIRRO", "COUNT", "SUM_CODE", "AVG_CODE", "MIN_HA", "MAX_NAME"}),
              Oracle("SELECT BAIRRO, COUNT(*), SUM(CODE), AVG(CODE), MIN(HA), MAX(NAME) FROM parcels "
                     "GROUP BY BAIRRO ORDER BY BAIRRO"));
    r.Close();
    // An existing result is never overwritten.
    EXPECT_THROW(t.Summarize(folder, QStringLiteral("resumo"), lines, QStringLiteral("BAIRRO")), EDatabaseError);
    QStringList bad{"0_NOSUCH"};
    EXPECT_THROW(t.Summarize(folder, QStringLiteral("resumo2"), bad, QStringLiteral("BAIRRO")), EDatabaseError);
}

TEST_F(GISTableTest, FieldsAddedAndDeletedKeepTheRecords) {
    t.Open();
    t.AddField(QStringLiteral("obs"), ftString, false, 12);
    ASSERT_TRUE(t.Active());
    ASSERT_NE(t.FindField(QStringLiteral("OBS")), nullptr);
    EXPECT_EQ(Rows(t, {"ID", "NAME", "HA"}), Oracle("SELECT ID, NAME, HA FROM parcels"));
    t.DeleteField(QStringLiteral("id"));  // never deleted
    EXPECT_NE(t.FindField(QStringLiteral("ID")), nullptr);
    t.DeleteField(QStringLiteral(" name "));
    EXPECT_EQ(t.FindField(QStringLiteral("NAME")), nullptr);
    EXPECT_EQ(Rows(t, {"ID", "CODE", "HA"}), Oracle("SELECT ID, CODE, HA FROM parcels"));
    // No temporary table is left behind.
    EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("gis*")}).isEmpty());
    t.Close();
    t.DeleteField(QStringLiteral("ID"));
    EXPECT_GE(t.FieldDefs().IndexOf(QStringLiteral("ID")), 0);
}

TEST_F(GISTableTest, SameTableNameKeepsTheParts) {
    t.SetConditionList({QStringLiteral("layer.CODE = 10")});
    t.SetTableName(QStringLiteral("parcels"));
    EXPECT_EQ(t.ConditionList(), QStringList{"layer.CODE = 10"});
    t.Open();
    EXPECT_EQ(Rows(t, {"ID"}), Oracle("SELECT ID FROM parcels WHERE CODE = 10"));
    t.Close();
    t.SetTableName(QStringLiteral("owners"));
    EXPECT_TRUE(t.ConditionList().isEmpty());
}

}  // namespace
