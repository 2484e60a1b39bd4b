// The engine's start-up: the registered map object classes, the clipboard
// layer in the user's data folder, in the edit state, and its lock removed
// at the end.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/layers/Layer.h"
#include "engine/view/EngineStartup.h"
#include "platform/settings/Settings.h"
#include "tests/engine/view/TestApp.h"

TEST(EngineStartupTest, ClipboardLayerLivesInTheUserDataFolder) {
    TestApp();
    const QString folder = Settings::UserDataFolder();
    const QString file = QDir(folder).filePath(QStringLiteral("clipbrd.sig"));
    const QString lock = QDir(folder).filePath(QStringLiteral("clipbrd.lck"));
    // An earlier clipboard file is replaced by an empty one.
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("rubbish");
    }
    StartEngine();
    // Every map object class reads from layer files, graph nodes too.
    for (const char* name : {"TPoint", "TLine", "TText", "TImageObject", "TArc", "TCircle", "TPolyLine", "TPolygon",
                             "TContour", "TGraphNode"})
        EXPECT_TRUE(IsObjectClassRegistered(QString::fromLatin1(name))) << name;
    TLayer* clip = ClipboardLayer();
    ASSERT_NE(clip, nullptr) << ClipboardError().toStdString();
    EXPECT_EQ(StartEngine(), 0);  // once only
    EXPECT_EQ(clip, ClipboardLayer());
    EXPECT_FALSE(clip->Visible());
    EXPECT_TRUE(clip->Active());
    EXPECT_EQ(clip->State(), lsEdit);
    EXPECT_EQ(clip->GetObjectCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo::exists(lock));
    StopEngine();
    EXPECT_EQ(ClipboardLayer(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(lock));
    EXPECT_TRUE(QFileInfo::exists(file));
}
