// A theme layer and its attribute table: opened and closed together,
// records kept in step with the objects through edits, posting and
// cancelling.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/objects/Point.h"
#include "engine/theme/ThemeLayer.h"
#include "tests/support/TestObjects.h"
#include "platform/db/Table.h"

namespace {

struct ThemeTableTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Prepare(layer);
        layer.Table()->AddField(QStringLiteral("NOME"), ftString, false, 30);
        layer.Table()->AddField(QStringLiteral("CODIGO"), ftInteger, false, 0);
        layer.CreateLayerFile();
        ASSERT_TRUE(layer.FileCreated());
        layer.Open();
        ASSERT_TRUE(layer.Active());
        ASSERT_TRUE(layer.Table()->Active());
    }
    void Prepare(TThemeLayer& l) const {
        l.SetDatabaseName(dir.path());
        l.SetLayerName(QStringLiteral("lotes.cam"));
        l.SetTableDatabaseName(dir.path());
        l.SetTableName(QStringLiteral("lotes"));
    }
    // "ID=NOME" of every record, in table order: of the layer's table, or
    // of the stored file read afresh.
    QStringList Records(bool stored = false) const {
        TTable file;
        file.SetDatabaseName(dir.path());
        file.SetTableName(QStringLiteral("lotes"));
        TDataSet& t = stored ? static_cast<TDataSet&>(file) : *layer.Table();
        if (stored) t.Open();
        QStringList out;
        for (t.First(); !t.Eof(); t.Next())
            out << t.FieldByName(QStringLiteral("ID"))->AsString() + u'=' + t.FieldByName(QStringLiteral("NOME"))->AsString();
        return out;
    }
    QStringList StoredRecords() const { return Records(true); }
    QStringList Ids() const {
        QStringList out;
        for (TVisualObject* o : layer.GetObjects()) out << o->Id();
        return out;
    }
    static QString Id(int n) { return QStringLiteral("%1").arg(n, 20, 10, QLatin1Char('0')); }

    QTemporaryDir dir;
    TThemeLayer layer;
};

TEST_F(ThemeTableTest, RecordsFollowAddsDeletesPostAndCancel) {
    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    auto* a = new TPoint(1, 1);
    ASSERT_EQ(layer.Add(std::unique_ptr<TVisualObject>(a)), 0);
    auto* b = new TPoint(2, 2);
    ASSERT_EQ(layer.AddObjectWithRecord(std::unique_ptr<TVisualObject>(b), {QStringLiteral("Escola"), 7}), 1);
    // An object already holding the next Id: the next one added skips it.
    a->SetId(Id(3));
    auto* c = new TPoint(3, 3);
    ASSERT_EQ(layer.AddObjectWithRecord(std::unique_ptr<TVisualObject>(c), {QStringLiteral("Praça")}), 2);
    EXPECT_EQ(Ids(), (QStringList{Id(3), Id(2), Id(4)}));
    EXPECT_TRUE(layer.HasPendingEdits());
    // The record of `a` still says 1: its Id was changed by hand.
    EXPECT_EQ(Records(), (QStringList{Id(1) + u'=', Id(2) + QStringLiteral("=Escola"), Id(4) + QStringLiteral("=Praça")}));
    ASSERT_TRUE(layer.Table()->Locate(QStringLiteral("ID"), Id(2)));
    EXPECT_EQ(layer.Table()->FieldByName(QStringLiteral("CODIGO"))->AsInteger(), 7);

    layer.Remove(c);
    EXPECT_EQ(Records().size(), 2);
    layer.InternalPost();
    EXPECT_FALSE(layer.HasPendingEdits());
    EXPECT_EQ(StoredRecords(), (QStringList{Id(1) + u'=', Id(2) + QStringLiteral("=Escola")}));

    // Cancel takes back objects and records alike, inserts included.
    layer.Insert(0, std::unique_ptr<TVisualObject>(new TPoint(5, 5)));
    layer.Delete(2);  // b
    layer.Clear();
    EXPECT_EQ(layer.GetObjectCount(), 0);
    // Only the record whose object's Id was changed by hand is left.
    EXPECT_EQ(Records(), QStringList{Id(1) + u'='});
    layer.InternalCancel();
    EXPECT_EQ(Ids(), (QStringList{Id(3), Id(2)}));
    EXPECT_EQ(Records(), (QStringList{Id(1) + u'=', Id(2) + QStringLiteral("=Escola")}));
    layer.EndEdit();

    // Browse state: nothing is added.
    EXPECT_EQ(layer.AddObjectWithRecord(std::make_unique<TPoint>(9, 9), {}), -1);
    EXPECT_EQ(layer.GetObjectCount(), 2);

    // Reopened, the layer and its table are as posted.
    layer.Close();
    EXPECT_FALSE(layer.Table()->Active());
    TThemeLayer again;
    Prepare(again);
    again.Open();
    ASSERT_TRUE(again.Active());
    EXPECT_EQ(again.GetObjectCount(), 2);
    EXPECT_EQ(again.NextId(), 5);
    EXPECT_EQ(again.Table()->RecordCount(), 2);
}

TEST_F(ThemeTableTest, ARefusedRecordLeavesNoObjectBehind) {
    layer.Edit();
    layer.Table()->BeforePost = [](TDataSet*) { throw EDatabaseError(QStringLiteral("recusado")); };
    // The refused objects are freed, whichever way they came.
    RegisterTestBox();
    auto* box = new TTestBox(1, 1, 2, 2);
    EXPECT_THROW(layer.Add(std::unique_ptr<TVisualObject>(box)), EDatabaseError);
    EXPECT_FALSE(LiveBoxes().contains(box));
    EXPECT_THROW(layer.AddObjectWithRecord(std::make_unique<TPoint>(1, 1), {QStringLiteral("x")}), EDatabaseError);
    EXPECT_THROW(layer.Add(std::make_unique<TPoint>(2, 2)), EDatabaseError);
    EXPECT_EQ(layer.GetObjectCount(), 0);
    EXPECT_EQ(layer.Table()->RecordCount(), 0);
    layer.Table()->BeforePost = nullptr;
    EXPECT_EQ(layer.Add(std::make_unique<TPoint>(1, 1)), 0);
    // The refused attempts used up no Id twice.
    EXPECT_EQ(layer.Table()->RecordCount(), 1);
    EXPECT_EQ(layer.Table()->FieldByName(QStringLiteral("ID"))->AsString(), layer.GetObject(0)->Id());
    layer.InternalCancel();
    layer.EndEdit();
}

TEST_F(ThemeTableTest, TableIsCommittedOnlyAfterTheLayerFileWasWritten) {
    layer.Edit();
    layer.AddObjectWithRecord(std::unique_ptr<TVisualObject>(new TPoint(1, 1)), {QStringLiteral("Casa")});
    // The layer file cannot be replaced: a folder stands in its place.
    const QString file = QDir(dir.path()).filePath(QStringLiteral("lotes.cam"));
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    EXPECT_ANY_THROW(layer.InternalPost());
    EXPECT_TRUE(StoredRecords().isEmpty());
    EXPECT_TRUE(layer.HasPendingEdits());
    ASSERT_TRUE(QDir().rmdir(file));
    layer.InternalPost();
    EXPECT_EQ(StoredRecords(), QStringList{Id(1) + QStringLiteral("=Casa")});
    layer.EndEdit();
}

TEST_F(ThemeTableTest, ReadOnlyTableKeepsTheLayerBrowsing) {
    layer.Close();
    layer.Table()->SetRequestLive(false);
    layer.Open();
    ASSERT_TRUE(layer.Active());
    layer.Edit();
    EXPECT_EQ(layer.State(), lsBrowse);
    EXPECT_FALSE(layer.HoldsLock());
}

TEST_F(ThemeTableTest, ATableThatDoesNotOpenLeavesTheLayerEmptyAndInactive) {
    layer.Edit();
    layer.Add(std::unique_ptr<TVisualObject>(new TPoint(1, 1)));
    layer.InternalPost();
    layer.EndEdit();
    layer.Close();
    ASSERT_TRUE(QFile::remove(QDir(dir.path()).filePath(QStringLiteral("lotes.dbf"))));
    QString message;
    layer.OnError = [&](TLayer&, const QString& m) { message = m; };
    layer.Open();
    EXPECT_FALSE(layer.Active());
    EXPECT_EQ(layer.GetObjectCount(), 0);
    EXPECT_FALSE(message.isEmpty());
    // Opening again does not pile up the objects read before.
    layer.Open();
    EXPECT_EQ(layer.GetObjectCount(), 0);
}

TEST_F(ThemeTableTest, HeaderClassificationIndexFollowsTheTableFields) {
    // The classification index sits after the layer header, two doubles
    // and the legend type code.
    TMemoryStream plain;
    layer.TLayer::WriteHeader(plain);
    const int at = static_cast<int>(plain.Size()) + 20;
    auto storedIndex = [&] {
        TMemoryStream s;
        layer.WriteHeader(s);
        return static_cast<int>(s.ToByteArray()[at]);
    };
    // Open with three fields: 5 is out of range and reads as 0; the open
    // table writes a block per field.
    layer.SetClassificationFieldIndex(5);
    EXPECT_EQ(layer.ClassificationFieldIndex(), 0);
    layer.SetClassificationFieldIndex(2);
    EXPECT_EQ(layer.ClassificationFieldIndex(), 2);
    // Normalization needs numeric fields on both sides.
    layer.SetNormalizationFieldIndex(1);
    EXPECT_EQ(layer.NormalizationFieldIndex(), -1);
    layer.SetNormalizationFieldIndex(2);
    EXPECT_EQ(layer.NormalizationFieldIndex(), 2);
    TMemoryStream open;
    layer.WriteHeader(open);
    EXPECT_EQ(open.ToByteArray().count("\r\nFIELD\r\n"), 3);
    // Closed, the index is kept as it is, and read back as stored.
    layer.Close();
    EXPECT_EQ(storedIndex(), 2);
    TMemoryStream s;
    layer.WriteHeader(s);
    QByteArray b = s.ToByteArray();
    b[at] = 5;
    TMemoryStream in;
    in.Write(b.constData(), b.size());
    in.Seek(0);
    layer.ReadHeader(in);
    EXPECT_EQ(storedIndex(), 5);
    layer.Open();
    EXPECT_EQ(storedIndex(), 0);
}

}  // namespace

TEST_F(ThemeTableTest, ATableFolderStoredEmptyIsTheLayerFilesWhereverTheFilesGo) {
    // A layer made with its table beside it and no folder stored.
    TThemeLayer made;
    made.SetDatabaseName(QDir(dir.path()).filePath(QStringLiteral("um")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("um")));
    made.SetLayerName(QStringLiteral("setores.cam"));
    made.SetTableDatabaseName(QString());
    made.SetTableName(QStringLiteral("setores"));
    made.Table()->AddField(QStringLiteral("NOME"), ftString, false, 20);
    made.CreateLayerFile();
    made.Open();
    ASSERT_TRUE(made.Table()->Active());
    made.Edit();
    made.AddObjectWithRecord(std::unique_ptr<TVisualObject>(new TPoint(1, 1)), {QStringLiteral("alto")});
    made.AddObjectWithRecord(std::unique_ptr<TVisualObject>(new TPoint(2, 2)), {QStringLiteral("baixo")});
    made.InternalPost();
    made.EndEdit();
    made.Close();

    // The whole folder moved elsewhere: the layer finds its table there,
    // and the folder is still stored empty.
    const QString moved = QDir(dir.path()).filePath(QStringLiteral("dois"));
    ASSERT_TRUE(QDir(dir.path()).rename(QStringLiteral("um"), QStringLiteral("dois")));
    TThemeLayer again;
    again.SetDatabaseName(moved);
    again.SetLayerName(QStringLiteral("setores.cam"));
    again.Open();
    ASSERT_TRUE(again.Active());
    ASSERT_TRUE(again.Table()->Active());
    EXPECT_EQ(again.Table()->RecordCount(), 2);
    EXPECT_EQ(again.TableDatabaseName(), QString());
    EXPECT_EQ(again.Table()->BaseFolder(), moved);

    // Pointing the query at another folder keeps its composed parts.
    again.Close();
    TLayerTable* t = again.Table();
    t->SetConditionList({QStringLiteral("layer.\"NOME\" = 'alto'")});
    const QString sql = t->SQL().join(u'\n');
    t->SetBaseFolder(dir.path());
    EXPECT_EQ(t->ConditionList(), QStringList{QStringLiteral("layer.\"NOME\" = 'alto'")});
    EXPECT_NE(t->SQL().join(u'\n'), sql);
    EXPECT_EQ(t->FromList(), QStringList{TGISDataSet::QuotedTableName(dir.path(), QStringLiteral("setores")) + QStringLiteral(" layer")});
    t->SetBaseFolder(moved);
    EXPECT_EQ(t->SQL().join(u'\n'), sql);
}
