// The cursor files that ship with the view load into the cursor table.
#include <gtest/gtest.h>

#include <QDir>

#include "engine/view/Cursors.h"
#include "tests/engine/view/TestApp.h"

TEST(CursorsTest, EveryShippedCursorLoadsWithItsHotSpot) {
    TestApp();
    const QString folder = qEnvironmentVariable("KZ_SOURCE_DIR") + QStringLiteral("/engine/view/cursors");
    EXPECT_EQ(LoadToolCursors(folder), 20);
    for (int n : ToolCursorNumbers()) {
        const auto c = ToolCursor(n);
        ASSERT_TRUE(c.has_value()) << n;
        EXPECT_EQ(c->pixmap().size(), QSize(32, 32)) << n;
    }
    EXPECT_FALSE(ToolCursor(204).has_value());
    EXPECT_TRUE(ToolCursorFileName(204).isEmpty());
    EXPECT_EQ(ToolCursor(6)->hotSpot(), QPoint(15, 15));
    EXPECT_EQ(ToolCursor(1)->hotSpot(), QPoint(0, 0));
    // A folder without the files leaves the numbers as they were.
    EXPECT_EQ(LoadToolCursors(QDir::tempPath() + QStringLiteral("/no-such-folder")), 0);
}
