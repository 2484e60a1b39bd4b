#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "engine/layers/Layer.h"
#include "engine/layers/Layers.h"
#include "tests/support/TestObjects.h"

namespace {

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestBox();
        ASSERT_TRUE(dir.isValid());
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("roads.cam"));
    }
    TTestBox* Box(double x, double y, const QString& id = {}) { return new TTestBox(x, y, x + 1, y + 1, id); }
    bool Alive(const void* o) const { return LiveBoxes().contains(o); }
    QString LockFile() const { return dir.filePath(QStringLiteral("roads.lck")); }

    QTemporaryDir dir;
    TFakeHost host;
    TLayer layer{&host};
};

TEST_F(LayerTest, BrowseRefusesEditsAndEditBuffersThem) {
    // A refused object is freed, never leaked.
    auto* refused = Box(1, 1);
    EXPECT_EQ(layer.Add(std::unique_ptr<TVisualObject>(refused)), -1);
    EXPECT_EQ(layer.GetObjectCount(), 0);
    EXPECT_FALSE(Alive(refused));

    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    auto* a = Box(1, 1);
    EXPECT_EQ(layer.Add(std::unique_ptr<TVisualObject>(a)), 0);
    EXPECT_EQ(a->Parent(), &layer);
    EXPECT_EQ(layer.GetInserted().size(), 1u);
    EXPECT_EQ(layer.Restore(a), -1);  // it is in the list, not put aside
    EXPECT_TRUE(layer.HasPendingEdits());

    // An object of another owner is refused (and freed with its pointer).
    TLayer other(&host);
    auto* foreign = Box(0, 0);
    foreign->SetParent(&other);
    EXPECT_EQ(layer.Add(std::unique_ptr<TVisualObject>(foreign)), -1);
    EXPECT_FALSE(Alive(foreign));
    // Removing an object the layer does not hold does nothing.
    TTestBox stranger(0, 0, 1, 1);
    EXPECT_EQ(layer.Remove(&stranger), -1);
    EXPECT_TRUE(layer.GetDeleted().empty());
}

TEST_F(LayerTest, CancelRestoresOldOrderAndFreesNewObjects) {
    layer.Edit();
    TTestBox* o[4];
    for (int i = 0; i < 4; ++i) layer.Add(std::unique_ptr<TVisualObject>(o[i] = Box(i, i)));
    layer.InternalPost();
    ASSERT_FALSE(layer.HasPendingEdits());

    layer.Delete(0);
    auto* added = Box(9, 9);
    layer.Add(std::unique_ptr<TVisualObject>(added));
    layer.Exchange(0, 1);
    auto* addedThenDeleted = Box(8, 8);
    layer.Add(std::unique_ptr<TVisualObject>(addedThenDeleted));
    layer.Remove(addedThenDeleted);
    layer.SelectionAdd(added);
    layer.SetCurrentObject(added);
    layer.InternalCancel();

    ASSERT_EQ(layer.GetObjectCount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(layer.GetObject(i), o[i]) << i;
    EXPECT_FALSE(Alive(added));
    EXPECT_FALSE(Alive(addedThenDeleted));
    EXPECT_EQ(layer.GetSelectedCount(), 0);
    EXPECT_EQ(layer.GetCurrentObject(), nullptr);
    EXPECT_FALSE(layer.HasPendingEdits());
}

TEST_F(LayerTest, PostFreesDeletedOnceAndReaddedObjectsStay) {
    layer.Edit();
    auto* a = Box(1, 1);
    auto* b = Box(2, 2);
    auto* c = Box(3, 3);
    layer.Add(std::unique_ptr<TVisualObject>(a));
    layer.Add(std::unique_ptr<TVisualObject>(b));
    layer.Add(std::unique_ptr<TVisualObject>(c));
    layer.Remove(b);  // added, then deleted: freed once, at post
    layer.Remove(c);
    EXPECT_EQ(layer.Restore(c), 1);  // back again: stays
    layer.SelectionAdd(a);
    layer.Clear();
    EXPECT_EQ(layer.GetSelectedCount(), 0);
    EXPECT_EQ(layer.GetDeleted().size(), 3u);
    EXPECT_TRUE(Alive(a) && Alive(b) && Alive(c));
    layer.InternalPost();
    EXPECT_FALSE(Alive(a) || Alive(b) || Alive(c));
    EXPECT_EQ(QFile(layer.ResolvedFileName()).size(), 4 + 4 + 5);  // units, count 0, "EOF" CR LF
}

TEST_F(LayerTest, FailedPostRaisesAndKeepsEdits) {
    layer.Edit();
    auto* a = Box(1, 1);
    layer.Add(std::unique_ptr<TVisualObject>(a));
    layer.InternalPost();
    const QByteArray before = [&] {
        QFile f(layer.ResolvedFileName());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    for (int i = 0; i < 50; ++i) layer.Add(std::unique_ptr<TVisualObject>(Box(i, i)));
    layer.Delete(0);
    // Files may not grow past 200 bytes for a while (root included): the
    // new layer file cannot be written.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 200;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(layer.InternalPost(), EEngineError);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(layer.HasPendingEdits());
    EXPECT_TRUE(Alive(a));
    QFile f(layer.ResolvedFileName());
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), before);
    layer.InternalPost();
    EXPECT_FALSE(Alive(a));
}

TEST_F(LayerTest, LockFileIsExclusiveAndOnlyItsOwnIsDeleted) {
    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    EXPECT_TRUE(QFile::exists(LockFile()));

    // A second layer on the same file stays in browse and leaves the lock.
    TLayer second(&host);
    second.SetDatabaseName(layer.DatabaseName());
    second.SetLayerName(layer.LayerName());
    second.Edit();
    EXPECT_EQ(second.State(), lsBrowse);
    second.EndEdit();
    EXPECT_TRUE(QFile::exists(LockFile()));

    layer.EndEdit();
    EXPECT_FALSE(QFile::exists(LockFile()));

    // A read-only layer creates none; a refused request deletes no stale lock.
    layer.SetReadOnly(true);
    layer.Edit();
    EXPECT_EQ(layer.State(), lsBrowse);
    EXPECT_FALSE(QFile::exists(LockFile()));
    layer.SetReadOnly(false);
    QFile stale(LockFile());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    layer.Edit();
    EXPECT_EQ(layer.State(), lsBrowse);
    layer.EndEdit();
    EXPECT_TRUE(QFile::exists(LockFile()));
    QFile::remove(LockFile());

    // Closing or destroying a layer in edit removes its lock.
    layer.CreateLayerFile();
    layer.Open();
    ASSERT_TRUE(layer.Active());
    layer.Edit();
    layer.Close();
    EXPECT_EQ(layer.State(), lsBrowse);
    EXPECT_FALSE(QFile::exists(LockFile()));
    {
        TLayer temp(&host);
        temp.SetDatabaseName(layer.DatabaseName());
        temp.SetLayerName(layer.LayerName());
        temp.Edit();
        EXPECT_TRUE(QFile::exists(LockFile()));
    }
    EXPECT_FALSE(QFile::exists(LockFile()));
}

TEST_F(LayerTest, FrozenAndReadOnly) {
    layer.SetFrozen(true);
    EXPECT_TRUE(layer.ReadOnly());
    layer.SetReadOnly(false);
    EXPECT_TRUE(layer.ReadOnly());
    layer.SetFrozen(false);
    layer.SetReadOnly(false);
    EXPECT_FALSE(layer.ReadOnly());
}

TEST_F(LayerTest, IdIndexKeepsFirstInListOrder) {
    layer.Edit();
    auto* a = Box(1, 1, QStringLiteral("0001"));
    auto* b = Box(2, 2, QStringLiteral("0002"));
    auto* twin = Box(3, 3, QStringLiteral(" 0001"));
    layer.Add(std::unique_ptr<TVisualObject>(a));
    layer.Add(std::unique_ptr<TVisualObject>(b));
    layer.Add(std::unique_ptr<TVisualObject>(twin));
    EXPECT_EQ(layer.FindObject(QStringLiteral(" 0001 ")), a);
    EXPECT_EQ(layer.FindObjectById(QStringLiteral(" 0001")), twin);
    EXPECT_THROW(layer.FindObjectById(QStringLiteral("0001 ")), EListError);
    layer.Exchange(0, 2);
    EXPECT_EQ(layer.FindObject(QStringLiteral("0001")), twin);
    layer.Remove(twin);
    EXPECT_EQ(layer.FindObject(QStringLiteral("0001")), a);
    EXPECT_THROW(b->SetId(QStringLiteral("0001")), EDuplicateKey);
    b->SetId(QStringLiteral("0003"));
    EXPECT_EQ(layer.FindObject(QStringLiteral("0003")), b);
    EXPECT_EQ(layer.FindObject(QStringLiteral("0002")), nullptr);
    auto* front = Box(4, 4, QStringLiteral("0003"));
    layer.Insert(0, std::unique_ptr<TVisualObject>(front));
    EXPECT_EQ(layer.FindObject(QStringLiteral("0003")), front);
    layer.InternalCancel();
    EXPECT_EQ(layer.FindObject(QStringLiteral("0003")), nullptr);
}

TEST_F(LayerTest, BoundsFollowTheList) {
    EXPECT_EQ(layer.GetLowerX(), 0);
    layer.Edit();
    layer.Add(std::unique_ptr<TVisualObject>(Box(5, 7)));
    EXPECT_EQ(layer.GetLowerX(), 5);
    EXPECT_EQ(layer.GetUpperY(), 8);
    auto* far = Box(-10, 20);
    layer.Add(std::unique_ptr<TVisualObject>(far));
    EXPECT_EQ(layer.GetLowerX(), -10);
    EXPECT_EQ(layer.GetUpperY(), 21);
    layer.Remove(far);
    EXPECT_EQ(layer.GetLowerX(), 5);
    far = static_cast<TTestBox*>(layer.GetObject(0));
    far->X2 = 50;
    layer.InvalidateBounds();
    EXPECT_EQ(layer.GetUpperX(), 50);
}

TEST_F(LayerTest, AreaQueriesAndSelection) {
    layer.Edit();
    auto* in = Box(10, 10);
    auto* edge = Box(19.5, 19.5);  // crosses the rectangle's corner
    auto* out = Box(50, 50);
    auto* disabled = Box(12, 12);
    disabled->SetEnabled(false);
    for (auto* o : {in, edge, out, disabled}) layer.Add(std::unique_ptr<TVisualObject>(o));

    EXPECT_EQ(layer.ObjectsWithin(0, 0, 20, 20), (std::vector<TVisualObject*>{in}));
    EXPECT_EQ(layer.ObjectsIntersecting(0, 0, 20, 20), (std::vector<TVisualObject*>{in, edge}));
    EXPECT_EQ(layer.ObjectsIntersecting(11, 11, 11, 11), (std::vector<TVisualObject*>{in}));  // edges count

    const int redraws = host.Redraws;
    layer.SelectIntersecting(0, 0, 20, 20);
    layer.SelectWithin(0, 0, 20, 20);  // no duplicates
    EXPECT_EQ(layer.GetSelection(), (std::vector<TVisualObject*>{in, edge}));
    EXPECT_TRUE(in->Selected());
    EXPECT_EQ(layer.GetSelectionUpperX(), 20.5);
    EXPECT_EQ(host.Redraws, redraws + 2);
    TTestBox stranger(0, 0, 1, 1);
    EXPECT_EQ(layer.SelectionAdd(&stranger), -1);

    layer.Remove(edge);  // leaves the selection with the list
    EXPECT_EQ(layer.GetSelection(), (std::vector<TVisualObject*>{in}));
    layer.ClearSelection();
    EXPECT_EQ(layer.GetSelectedCount(), 0);
    EXPECT_FALSE(in->Selected());

    layer.SetFrozen(true);
    layer.SelectWithin(0, 0, 100, 100);
    EXPECT_EQ(layer.GetSelectedCount(), 0);
    EXPECT_EQ(host.Redraws, redraws + 4);
}

TEST_F(LayerTest, DrawSkipsHiddenFailingAndOffWindowObjects) {
    layer.Edit();
    auto* a = Box(10, 10);
    auto* failing = Box(20, 20);
    failing->ThrowOnDraw = true;
    auto* hidden = Box(30, 30);
    hidden->SetVisible(false);
    auto* away = Box(500, 500);
    auto* b = Box(40, 40);
    for (auto* o : {a, failing, hidden, away, b}) layer.Add(std::unique_ptr<TVisualObject>(o));
    std::vector<const TVisualObject*> log;
    TTestBox::DrawLog = &log;
    layer.Redraw();
    EXPECT_EQ(log, (std::vector<const TVisualObject*>{a, b}));
    EXPECT_FALSE(layer.Drawing());
    log.clear();
    layer.SetVisible(false);
    layer.Redraw();
    EXPECT_TRUE(log.empty());
    TTestBox::DrawLog = nullptr;
    layer.Draw(nullptr);
    EXPECT_FALSE(layer.Drawing());
}

TEST_F(LayerTest, OpenOfMissingOrDamagedFileLeavesLayerEmptyAndReports) {
    std::vector<QString> errors;
    int changes = 0;
    layer.OnError = [&](TLayer&, const QString& m) { errors.push_back(m); };
    layer.OnChange = [&](TLayer&) { ++changes; };
    layer.SetActive(true);
    EXPECT_FALSE(layer.Active());
    EXPECT_EQ(layer.GetObjectCount(), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(host.Failures.size(), 1u);
    EXPECT_EQ(changes, 1);

    // A file whose second record is cut short.
    layer.Edit();
    layer.Add(std::unique_ptr<TVisualObject>(Box(1, 1)));
    layer.Add(std::unique_ptr<TVisualObject>(Box(2, 2)));
    layer.InternalPost();
    layer.EndEdit();
    QFile f(layer.ResolvedFileName());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() - 20);
    f.close();
    TLayer reader(&host);
    reader.SetDatabaseName(layer.DatabaseName());
    reader.SetLayerName(layer.LayerName());
    reader.Open();
    EXPECT_FALSE(reader.Active());
    EXPECT_EQ(reader.GetObjectCount(), 0);
    EXPECT_EQ(host.Failures.size(), 2u);

    // A coordinate system that cannot be read fails the layer the same way
    // (the coordinate module's error is one of the program's errors).
    struct TCoordinateLayer : TLayer {
        using TLayer::TLayer;
        void ReadObjects(TStream&) override { throw ECoordinateError("projection block too short"); }
    } coordinates(&host);
    coordinates.SetDatabaseName(layer.DatabaseName());
    coordinates.SetLayerName(layer.LayerName());
    ASSERT_NO_THROW(coordinates.Open());
    EXPECT_FALSE(coordinates.Active());
    ASSERT_EQ(host.Failures.size(), 3u);
}

TEST_F(LayerTest, ChangeNotifications) {
    std::vector<std::string> log;
    int panel = 0;
    layer.AddChangeLink(&panel)->OnChange = [&](TChangeLink&) { log.push_back("link"); };
    layer.OnChange = [&](TLayer&) { log.push_back("own"); };
    layer.SetCaption(QStringLiteral("Roads"));
    layer.SetCaption(QStringLiteral("Roads"));
    EXPECT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "link");
    layer.SetLegendVisible(false);
    EXPECT_EQ(log.size(), 6u);
    layer.SetFrozen(true);  // not a notifying property
    EXPECT_EQ(log.size(), 6u);

    bool gone = false;
    {
        TLayer temp(&host);
        temp.AddChangeLink(&gone)->OnDisconnect = [&](TChangeLink&) { gone = true; };
    }
    EXPECT_TRUE(gone);
}

TEST(Layers, OrderRedrawAndOwnership) {
    RegisterTestBox();
    TFakeHost host;
    TLayers layers(&host);
    TLayer* l[3];
    std::vector<const TVisualObject*> log;
    TTestBox::DrawLog = &log;
    const QTemporaryDir dir;
    for (int i = 0; i < 3; ++i) {
        auto layer = std::make_unique<TLayer>(&host);
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(QStringLiteral("l%1.cam").arg(i));
        layer->SetCaption(QStringLiteral("L%1").arg(i));
        layer->Edit();
        layer->Add(std::unique_ptr<TVisualObject>(new TTestBox(i, i, i + 1, i + 1)));
        l[i] = layer.get();
        layers.Add(std::move(layer));
    }
    layers.RedrawAll();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], l[2]->GetObject(0));
    EXPECT_EQ(log[2], l[0]->GetObject(0));
    EXPECT_FALSE(layers.GetRedrawing());
    log.clear();
    layers.Redraw(2, 0);
    EXPECT_TRUE(log.empty());
    TTestBox::DrawLog = nullptr;

    EXPECT_EQ(layers.IndexOfName(QStringLiteral("L1")), 1);
    EXPECT_EQ(layers.IndexOfName(QStringLiteral("l1")), -1);
    EXPECT_EQ(layers.FindLayer(QStringLiteral("x")), nullptr);
    EXPECT_THROW(layers.GetLayerByName(QStringLiteral("x")), EListError);

    int changes = 0;
    layers.OnChange = [&](TLayers&) { ++changes; };
    layers.Delete(0);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(layers.Owns(l[0]));
    EXPECT_EQ(l[0]->GetObjectCount(), 1);  // alive
    layers.FreeLayer(l[1]);
    EXPECT_EQ(layers.GetCount(), 1);
    EXPECT_FALSE(layers.Owns(l[1]));
    EXPECT_FALSE(QFile::exists(dir.filePath("l1.lck")));  // its lock went with it
}

}  // namespace
