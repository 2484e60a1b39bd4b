// Legend samples rendered offscreen, with pixel checks.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"
#include "engine/view/Legends.h"
#include "tests/engine/view/TestApp.h"

namespace {

QImage Render(const TLegend& legend) {
    QImage image(legend.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    legend.PaintTo(p);
    return image;
}

struct LegendsTest : ::testing::Test {
    void SetUp() override { TestApp(); }
};

TEST_F(LegendsTest, SamplesByStyle) {
    TThemeClass c;
    c.SetLineColor(clRed);
    c.SetFillColor(clBlue);
    c.SetLineWidth(3);
    TLegend legend;
    legend.resize(120, TLegend::kHeight);
    legend.SetThemeClass(&c);
    const int m = TLegend::kHeight / 2;

    legend.SetLegendStyle(lgsPoint);
    QImage img = Render(legend);
    EXPECT_EQ(img.pixel(13, m), qRgb(255, 0, 0));   // the disc's centre
    EXPECT_EQ(img.pixel(20, m), qRgb(255, 255, 255));

    legend.SetLegendStyle(lgsPoly);
    img = Render(legend);
    EXPECT_EQ(img.pixel(14, m), qRgb(0, 0, 255));   // the fill
    EXPECT_EQ(img.pixel(3, m), qRgb(255, 0, 0));    // the outline

    c.SetFillStyle(fsTransparent);  // the change link refreshes the entry
    img = Render(legend);
    EXPECT_EQ(img.pixel(14, m), qRgb(255, 255, 255));

    legend.SetLegendStyle(lgsAll);
    img = Render(legend);
    for (int x = 0; x < 26; ++x) EXPECT_EQ(img.pixel(x, m), qRgb(255, 255, 255)) << x;
}

TEST_F(LegendsTest, BitmapsOfAnySizeAreScaledIntoTheSample) {
    TLegend legend;
    legend.resize(120, TLegend::kHeight);
    legend.SetLegendStyle(lgsPoint);
    legend.SetPointStyle(psBitmap);
    QImage big(64, 64, QImage::Format_ARGB32);
    big.fill(Qt::green);
    legend.SetBitmap(big);
    const QImage img = Render(legend);
    const int m = TLegend::kHeight / 2;
    EXPECT_EQ(img.pixel(3, m - 8), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(18, m + 7), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(19, m), qRgb(255, 255, 255));  // not beyond the sample
}

TEST_F(LegendsTest, OneEntryPerClassOrOneForTheDefaults) {
    TThemeClass defaults;
    defaults.SetThemeClassName(QStringLiteral("Padrão"));
    auto classes = std::make_unique<TThemeClasses>();
    TLegends legends;
    legends.resize(150, 16);
    legends.SetThemeLayerType(12);
    legends.SetDefaults(&defaults);
    legends.SetThemeClasses(classes.get());
    ASSERT_EQ(legends.Entries().size(), 1u);
    EXPECT_EQ(legends.Entries()[0]->Caption(), QStringLiteral("Padrão"));
    EXPECT_EQ(legends.Entries()[0]->LegendStyle(), lgsPoly);  // 12 mod 10

    classes->Add(QStringLiteral("A"));
    classes->Add(QStringLiteral("B"));
    classes->Add(QStringLiteral("C"));
    ASSERT_EQ(legends.Entries().size(), 3u);
    EXPECT_EQ(legends.Entries()[1]->y(), 18);
    EXPECT_EQ(legends.Entries()[2]->y(), 36);
    EXPECT_EQ(legends.Entries()[2]->Caption(), QStringLiteral("C"));

    EXPECT_EQ(LegendStyleForLayerType(13), lgsText);
    EXPECT_EQ(LegendStyleForLayerType(21), lgsLine);
    EXPECT_EQ(LegendStyleForLayerType(5), lgsAll);

    // The list freed first: the legends let go of it and of their entries.
    classes.reset();
    EXPECT_TRUE(legends.Entries().empty());
    EXPECT_EQ(legends.ThemeClasses(), nullptr);
}

}  // namespace
