#pragma once
// The machine-wide values the programs keep (data folder, default map,
// registered owner), kept in one settings file per user instead of the
// registry. Keys are registry-style paths under HKEY_LOCAL_MACHINE
// ("Software\Ardo\KOVI Zelto - TREL - Inventário"), values are named
// strings under a key.
//
// The file is, in order of precedence: the one given to SetFile, the one
// named by the environment variable KZ_SETTINGS_FILE, else
// "<user configuration folder>/kovizelto/registry.ini".
#include <QString>
#include <QStringList>

namespace Settings {

// Points every later call at another file (tests); an empty name goes
// back to the default.
void SetFile(const QString& fileName);
QString FileName();

bool KeyExists(const QString& key);
bool ValueExists(const QString& key, const QString& name);
// The value, or fallback when the key or value is absent.
QString ReadString(const QString& key, const QString& name, const QString& fallback = QString());
void WriteString(const QString& key, const QString& name, const QString& value);
void DeleteValue(const QString& key, const QString& name);
QStringList ValueNames(const QString& key);
QStringList SubKeys(const QString& key);

// The user's data folder for files the programs write for themselves
// (created on first use): KZ_DATA_DIR when set, else
// "<user data folder>/kovizelto".
QString UserDataFolder();

}  // namespace Settings
