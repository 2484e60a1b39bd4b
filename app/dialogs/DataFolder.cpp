#include "app/dialogs/DataFolder.h"

#include <QDir>
#include <QRegularExpression>

#include "engine/core/Paths.h"

namespace {
QString& CurrentDataFolder() {
    static QString folder;
    return folder;
}

// The fixed root that the plan's files name for the data folder.
const QRegularExpression& FixedRoot() {
    static const QRegularExpression re(QStringLiteral("^[a-zA-Z]:[\\\\/]+trel(?:[\\\\/]+|$)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}
}  // namespace

QString DataFolder() { return CurrentDataFolder(); }

void SetDataFolder(const QString& folder) { CurrentDataFolder() = folder; }

QString DataPath(const QString& path) {
    QString rest = path.trimmed();
    const auto fixed = FixedRoot().match(rest);
    if (fixed.hasMatch()) rest = rest.mid(fixed.capturedLength());
    rest = NormalizeSeparators(rest);
    if (!fixed.hasMatch() && (QDir::isAbsolutePath(rest) || !IsRelativeFolder(rest))) return ResolvePath(rest);
    const QString joined = JoinPath(DataFolder(), rest);
    const QString found = FindPathNoCase(joined);
    return found.isEmpty() ? joined : found;
}

QString DataFile(const QString& folder, const QString& name) {
    const QString n = NormalizeSeparators(name.trimmed());
    if (n.isEmpty() || QDir::isAbsolutePath(n) || !IsRelativeFolder(n)) return QString();
    for (const QString& part : n.split(QLatin1Char('/')))
        if (part == QLatin1String("..")) return QString();
    return DataPath(JoinPath(folder, n));
}
