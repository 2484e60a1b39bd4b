#include "platform/settings/Settings.h"

#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString& ExplicitFile() {
    static QString file;
    return file;
}

std::unique_ptr<QSettings> Open() {
    auto s = std::make_unique<QSettings>(Settings::FileName(), QSettings::IniFormat);
    return s;
}

// "Software\Ardo\X" -> "HKEY_LOCAL_MACHINE/Software/Ardo/X"
QString Group(const QString& key) {
    QString k = key;
    k.replace(u'\\', u'/');
    while (k.startsWith(u'/')) k.remove(0, 1);
    while (k.endsWith(u'/')) k.chop(1);
    return k.isEmpty() ? QStringLiteral("HKEY_LOCAL_MACHINE") : QStringLiteral("HKEY_LOCAL_MACHINE/") + k;
}

// Value names may hold characters that QSettings reads as separators.
QString ValueKey(const QString& name) {
    QString n = name;
    n.replace(u'/', QStringLiteral("%2F"));
    n.replace(u'\\', QStringLiteral("%5C"));
    return n.isEmpty() ? QStringLiteral("@") : n;  // "@" is the key's default value
}

QString ValueName(const QString& key) {
    if (key == u"@") return {};
    QString n = key;
    n.replace(QStringLiteral("%2F"), QStringLiteral("/"));
    n.replace(QStringLiteral("%5C"), QStringLiteral("\\"));
    return n;
}

}  // namespace

namespace Settings {

void SetFile(const QString& fileName) { ExplicitFile() = fileName; }

QString FileName() {
    if (!ExplicitFile().isEmpty()) return ExplicitFile();
    const QByteArray env = qgetenv("KZ_SETTINGS_FILE");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/kovizelto/registry.ini");
}

bool KeyExists(const QString& key) {
    auto s = Open();
    const QString g = Group(key);
    for (const QString& k : s->allKeys())
        if (k.startsWith(g + u'/')) return true;
    return false;
}

bool ValueExists(const QString& key, const QString& name) {
    auto s = Open();
    return s->contains(Group(key) + u'/' + ValueKey(name));
}

QString ReadString(const QString& key, const QString& name, const QString& fallback) {
    auto s = Open();
    const QVariant v = s->value(Group(key) + u'/' + ValueKey(name));
    return v.isValid() ? v.toString() : fallback;
}

void WriteString(const QString& key, const QString& name, const QString& value) {
    const QFileInfo fi(FileName());
    QDir().mkpath(fi.absolutePath());
    auto s = Open();
    s->setValue(Group(key) + u'/' + ValueKey(name), value);
    s->sync();
}

void DeleteValue(const QString& key, const QString& name) {
    auto s = Open();
    s->remove(Group(key) + u'/' + ValueKey(name));
    s->sync();
}

QStringList ValueNames(const QString& key) {
    auto s = Open();
    s->beginGroup(Group(key));
    QStringList out;
    for (const QString& k : s->childKeys()) out << ValueName(k);
    return out;
}

QStringList SubKeys(const QString& key) {
    auto s = Open();
    s->beginGroup(Group(key));
    return s->childGroups();
}

QString UserDataFolder() {
    const QByteArray env = qgetenv("KZ_DATA_DIR");
    if (!env.isEmpty()) {
        const QString dir = QString::fromLocal8Bit(env);
        QDir().mkpath(dir);
        return dir;
    }
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = base + QStringLiteral("/kovizelto");
    QDir().mkpath(dir);
    return dir;
}

}  // namespace Settings
