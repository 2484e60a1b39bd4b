// The layer list: rows by identity, the pressed row, visibility boxes and
// theme legends, rendered offscreen.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>

#include "engine/symbology/ThemeClass.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "tests/engine/view/TestApp.h"

namespace {

struct LayerListTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        view.resize(100, 100);
        view.SetDatabaseName(dir.path());
        view.SetDrawingName(QStringLiteral("Mapa.map"));
        view.CreateDrawing();
        view.Open();
        ASSERT_TRUE(view.Active());
        for (const char* name : {"Lotes", "Ruas", "Encostas"}) {
            auto layer = std::make_unique<TThemeLayer>(&view);
            layer->SetCaption(QString::fromLatin1(name));
            layers.push_back(layer.get());
            view.Layers().Add(std::move(layer));
        }
        box.resize(200, 300);
        box.SetDrawing(&view);
    }
    QApplication& app = TestApp();
    QTemporaryDir dir;
    TGISDrawing view;
    TThemeLayerListBox box;
    std::vector<TThemeLayer*> layers;
};

TEST_F(LayerListTest, RowsFollowTheLayersByIdentity) {
    ASSERT_EQ(box.GetPanelCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(box.GetPanel(i)->Layer(), layers[i]);
        EXPECT_EQ(box.PanelOf(layers[i]), box.GetPanel(i));
        EXPECT_EQ(box.GetPanel(i)->LabelCaption()->text(), layers[i]->Caption());
    }
    // Rows stack top to bottom.
    EXPECT_LT(box.GetPanel(0)->y(), box.GetPanel(1)->y());
    // The caption's label holds its font's whole height (accents of
    // capitals included) and the legends start below it.
    for (int i = 0; i < 3; ++i) {
        const auto* row = box.GetPanel(i);
        EXPECT_GE(row->LabelCaption()->height(), row->LabelCaption()->fontMetrics().height());
        EXPECT_GE(row->Legends()->y(), row->LabelCaption()->geometry().bottom());
    }
    // Each theme row shows one legend entry for the layer's defaults.
    EXPECT_EQ(box.GetPanel(0)->Legends()->Entries().size(), 1u);
    layers[0]->ThemeClasses()->Add(QStringLiteral("Alto"));
    layers[0]->ThemeClasses()->Add(QStringLiteral("Baixo"));
    EXPECT_EQ(box.PanelOf(layers[0])->Legends()->Entries().size(), 2u);

    // Closing the view frees its layers: the list keeps no row that points
    // at them, and a click names none.
    box.SetPressedIndex(1);
    view.Close();
    box.Rebuild();
    EXPECT_EQ(box.GetPanelCount(), 0);
    EXPECT_EQ(box.PressedIndex(), 1);
    int clicks = 0;
    box.OnClick = [&](TLayerListBox&) { ++clicks; };
    box.Click();
    EXPECT_EQ(clicks, 0);
}

TEST_F(LayerListTest, PressedRowIsMarkedAndMadeActive) {
    std::vector<TLayer*> clicked;  // the active layer at each OnClick
    box.OnClick = [&](TLayerListBox&) { clicked.push_back(view.ActiveLayer()); };
    // Nothing pressed yet: a click does nothing.
    EXPECT_EQ(box.PressedIndex(), -1);
    box.Click();
    EXPECT_EQ(view.ActiveLayer(), nullptr);
    EXPECT_TRUE(clicked.empty());

    box.GetPanel(0)->Press(Qt::NoModifier);
    box.GetPanel(2)->Press(Qt::NoModifier);
    // Twice per press, the pressed layer active both times.
    EXPECT_EQ(clicked, (std::vector<TLayer*>{layers[0], layers[0], layers[2], layers[2]}));
    EXPECT_EQ(box.PressedIndex(), 2);
    EXPECT_EQ(view.ActiveLayer(), layers[2]);
    EXPECT_EQ(layers[2]->Tag(), 1);
    EXPECT_EQ(layers[0]->Tag(), 0);
    EXPECT_TRUE(box.GetPanel(2)->Raised());
    EXPECT_FALSE(box.GetPanel(0)->Raised());
    box.GetPanel(1)->Press(Qt::ControlModifier);
    EXPECT_EQ(layers[2]->Tag(), 1);  // kept with Ctrl
    EXPECT_EQ(layers[1]->Tag(), 1);
    EXPECT_EQ(box.PressedIndex(), 1);

    // The index is a plain number: rows rebuilt leave it as it was; a
    // click takes the layer now at that row, and with fewer rows than it
    // names does nothing.
    view.Layers().Delete(0);
    ASSERT_EQ(box.GetPanelCount(), 2);
    EXPECT_EQ(box.PressedIndex(), 1);
    box.Click();
    EXPECT_EQ(view.ActiveLayer(), layers[2]);
    view.Layers().Delete(1);
    clicked.clear();
    box.Click();
    EXPECT_TRUE(clicked.empty());
    EXPECT_EQ(box.PressedIndex(), 1);
    box.SetPressedIndex(0);
    box.Click();
    EXPECT_EQ(view.ActiveLayer(), layers[1]);
}

TEST_F(LayerListTest, VisibilityBoxShowsAndHidesTheLayer) {
    TLayerPanel* row = box.GetPanel(1);
    EXPECT_TRUE(row->VisibleCheckBox()->isChecked());
    row->VisibleCheckBox()->click();
    EXPECT_FALSE(layers[1]->Visible());
    row->VisibleCheckBox()->click();
    EXPECT_TRUE(layers[1]->Visible());
}

TEST_F(LayerListTest, LegendSamplesRenderInTheRow) {
    layers[0]->SetThemeLayerType(2);
    TThemeClass* c = layers[0]->ThemeClasses()->GetItem(layers[0]->ThemeClasses()->Add(QStringLiteral("Risco")));
    c->SetFillColor(clRed);
    box.Rebuild();
    TLayerPanel* row = box.GetPanel(0);
    ASSERT_EQ(row->Legends()->Entries().size(), 1u);
    TLegend* entry = row->Legends()->Entries()[0];
    EXPECT_EQ(entry->LegendStyle(), lgsPoly);
    QImage image(entry->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    entry->PaintTo(p);
    p.end();
    EXPECT_EQ(image.pixel(14, TLegend::kHeight / 2), qRgb(255, 0, 0));
    // Widening the list widens the entries, so their captions show whole.
    box.show();
    box.resize(150, 300);
    QCoreApplication::processEvents();
    ASSERT_LT(entry->width(), 150);
    box.resize(500, 300);
    QCoreApplication::processEvents();
    EXPECT_GT(entry->width(), 450);
    EXPECT_EQ(entry->width(), row->Legends()->width());
}

}  // namespace
