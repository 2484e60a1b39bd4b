#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/settings/Settings.h"

TEST(Settings, RegistryKeysAndValuesPersist) {
    QTemporaryDir dir;
    const QString file = dir.filePath("sub/registry.ini");
    Settings::SetFile(file);
    const QString key = QStringLiteral("Software\\Ardo\\KOVI Zelto - TREL - Inventário");
    EXPECT_FALSE(Settings::KeyExists(key));
    EXPECT_EQ(Settings::ReadString(key, "Source", "none"), u"none");
    Settings::WriteString(key, "Source", "/dados/trel");
    Settings::WriteString(key, "DefaultMap", "C:\\Trel\\Plano.map");
    Settings::WriteString("Software\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner", "Prefeitura");
    EXPECT_TRUE(Settings::KeyExists(key));
    EXPECT_TRUE(Settings::KeyExists("Software\\Ardo"));
    EXPECT_TRUE(Settings::ValueExists(key, "Source"));
    EXPECT_EQ(Settings::ReadString(key, "DefaultMap"), u"C:\\Trel\\Plano.map");
    EXPECT_EQ(Settings::ValueNames(key).size(), 2);
    EXPECT_TRUE(Settings::SubKeys("Software").contains("Ardo"));
    Settings::DeleteValue(key, "Source");
    EXPECT_FALSE(Settings::ValueExists(key, "Source"));
    EXPECT_EQ(Settings::FileName(), file);
    Settings::SetFile(QString());
    EXPECT_NE(Settings::FileName(), file);
}
