// Random sequences of edits checked against a plain model of what the
// layer must hold, which objects must be alive and what its lookups give.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include <QFileInfo>
#include <QTemporaryDir>

#include "engine/layers/Layer.h"
#include "tests/support/TestObjects.h"

namespace {

struct TModel {
    std::vector<TVisualObject*> list;       // the object list
    std::vector<TVisualObject*> snapshot;   // the list when the edit began
    std::set<TVisualObject*> aside;         // removed, alive until post or cancel
    bool buffering = false;
    void Begin() {
        if (!buffering) snapshot = list;
        buffering = true;
    }
};

TEST(LayerModel, RandomEditSequences) {
    RegisterTestBox();
    // Posts write the layer file durably; in memory-backed storage where
    // there is one, so that the many posts stay quick.
    const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir dir(shm ? QStringLiteral("/dev/shm/kz-layer-model-XXXXXX") : QString());
    ASSERT_TRUE(dir.isValid());
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
        TFakeHost host;
        TTestBox foreign(0, 0, 1, 1);
        {
            TLayer layer(&host);
            layer.SetDatabaseName(dir.path());
            layer.SetLayerName(QStringLiteral("model.cam"));
            layer.Edit();
            ASSERT_EQ(layer.State(), lsEdit);
            TModel m;
            for (int step = 0; step < 300; ++step) {
                const int op = static_cast<int>(pick(100));
                if (op < 30) {  // add a new object, with keys that repeat
                    const double x = static_cast<double>(pick(100));
                    auto* o = new TTestBox(x, x, x + pick(5), x + 1, QString::number(pick(20)));
                    m.Begin();
                    if (pick(3) == 0 && !m.list.empty()) {
                        const int at = static_cast<int>(pick(m.list.size() + 1));
                        ASSERT_EQ(layer.Insert(at, std::unique_ptr<TVisualObject>(o)), at);
                        m.list.insert(m.list.begin() + at, o);
                    } else {
                        ASSERT_EQ(layer.Add(std::unique_ptr<TVisualObject>(o)), static_cast<int>(m.list.size()));
                        m.list.push_back(o);
                    }
                } else if (op < 40 && !m.aside.empty()) {  // put a removed object back
                    auto it = m.aside.begin();
                    std::advance(it, static_cast<long>(pick(m.aside.size())));
                    TVisualObject* o = *it;
                    ASSERT_GE(layer.Restore(o), 0);
                    m.aside.erase(it);
                    m.list.push_back(o);
                } else if (op < 55 && !m.list.empty()) {  // delete or remove
                    const std::size_t i = pick(m.list.size());
                    TVisualObject* o = m.list[i];
                    m.Begin();
                    if (pick(2) == 0)
                        layer.Delete(static_cast<int>(i));
                    else
                        ASSERT_EQ(layer.Remove(o), static_cast<int>(i));
                    m.list.erase(m.list.begin() + static_cast<long>(i));
                    m.aside.insert(o);
                } else if (op < 60) {  // objects the layer does not hold
                    EXPECT_EQ(layer.Remove(&foreign), -1);
                    if (!m.aside.empty()) {
                        EXPECT_EQ(layer.Remove(*m.aside.begin()), -1);
                    }
                    if (!m.list.empty()) {
                        EXPECT_EQ(layer.Restore(m.list.front()), -1);
                    }
                } else if (op < 64) {
                    m.Begin();
                    layer.Clear();
                    for (TVisualObject* o : m.list) m.aside.insert(o);
                    m.list.clear();
                } else if (op < 70 && m.list.size() > 1) {
                    const std::size_t i = pick(m.list.size()), j = pick(m.list.size());
                    m.Begin();
                    layer.Exchange(static_cast<int>(i), static_cast<int>(j));
                    std::swap(m.list[i], m.list[j]);
                } else if (op < 76) {
                    layer.InternalPost();
                    for (TVisualObject* o : m.aside) EXPECT_FALSE(LiveBoxes().contains(o));
                    m.aside.clear();
                    m.buffering = false;
                } else if (op < 82) {
                    std::set<TVisualObject*> gone(m.aside.begin(), m.aside.end());
                    gone.insert(m.list.begin(), m.list.end());
                    if (m.buffering) m.list = m.snapshot;
                    for (TVisualObject* o : m.list) gone.erase(o);
                    layer.InternalCancel();
                    for (TVisualObject* o : gone) EXPECT_FALSE(LiveBoxes().contains(o));
                    m.aside.clear();
                    m.buffering = false;
                } else if (op < 92 && !m.list.empty()) {  // select, current object
                    TVisualObject* o = m.list[pick(m.list.size())];
                    layer.SelectionAdd(o);
                    if (pick(2) == 0) layer.SetCurrentObject(o);
                } else if (!m.list.empty()) {  // a key changes
                    TVisualObject* o = m.list[pick(m.list.size())];
                    try {
                        o->SetId(QString::number(pick(30)));
                    } catch (const EDuplicateKey&) {
                    }
                }

                // The layer against the model.
                ASSERT_EQ(layer.GetObjects().ToVector(), m.list) << "seed " << seed << " step " << step;
                for (TVisualObject* o : m.list) ASSERT_TRUE(LiveBoxes().contains(o));
                for (TVisualObject* o : m.aside) ASSERT_TRUE(LiveBoxes().contains(o));
                std::set<TVisualObject*> sel(layer.GetSelection().begin(), layer.GetSelection().end());
                ASSERT_EQ(sel.size(), layer.GetSelection().size());  // no duplicates
                for (TVisualObject* o : sel)
                    ASSERT_TRUE(std::find(m.list.begin(), m.list.end(), o) != m.list.end());
                if (TVisualObject* c = layer.GetCurrentObject()) {
                    ASSERT_TRUE(std::find(m.list.begin(), m.list.end(), c) != m.list.end());
                }
                const QString key = QString::number(pick(30));
                TVisualObject* first = nullptr;
                for (TVisualObject* o : m.list)
                    if (o->Id().trimmed() == key) {
                        first = o;
                        break;
                    }
                ASSERT_EQ(layer.FindObject(key), first) << "seed " << seed << " step " << step;
                const TBounds b = ObjectsBounds(m.list);
                ASSERT_EQ(layer.GetLowerX(), b.LowerX);
                ASSERT_EQ(layer.GetUpperX(), b.UpperX);
                ASSERT_EQ(layer.HasPendingEdits(), !m.aside.empty() || [&] {
                    return m.buffering && std::any_of(m.list.begin(), m.list.end(), [&](TVisualObject* o) {
                               return std::find(m.snapshot.begin(), m.snapshot.end(), o) == m.snapshot.end();
                           });
                }());
            }
        }
        EXPECT_EQ(LiveBoxes().size(), 1u) << "seed " << seed;  // only the foreign box
    }
}

}  // namespace
