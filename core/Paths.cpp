#include "core/Paths.h"

#include <mutex>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

QString JoinPath(const QString& folderIn, const QString& nameIn) {
    QString folder = folderIn.trimmed();
    QString name = nameIn.trimmed();
    if (folder.isEmpty()) return name;
    while (name.startsWith(u'/') || name.startsWith(u'\\')) name.remove(0, 1);
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\'))) folder.chop(1);
    if (folder == u"/" || folder == u"\\") return u'/' + name;
    return folder + u'/' + name;
}

QString NormalizeSeparators(QString path) {
    path.replace(u'\\', u'/');
    return path;
}

bool IsRelativeFolder(const QString& folder) {
    const QString f = NormalizeSeparators(folder.trimmed());
    const bool drive = f.size() >= 2 && f.at(1) == u':' && f.at(0).isLetter();
    return !drive && QDir::isRelativePath(f);
}

namespace {

bool IsWindowsAbsolute(const QString& p) {
    return p.size() >= 2 && p[1] == u':' && p[0].isLetter();
}

}  // namespace

namespace {

// The answers of FindPathNoCase for paths that do not exist as written:
// each stays good while the file it names exists (the same tables and
// layers are asked for again and again while a map opens). Bounded: it
// starts afresh when full.
class TNoCaseAnswers {
public:
    QString Find(const QString& path) {
        std::lock_guard lock(mutex_);
        return answers_.value(path);
    }
    void Keep(const QString& path, const QString& answer) {
        std::lock_guard lock(mutex_);
        if (answers_.size() >= kLimit) answers_.clear();
        answers_.insert(path, answer);
    }

private:
    static constexpr qsizetype kLimit = 4096;
    std::mutex mutex_;
    QHash<QString, QString> answers_;
};

TNoCaseAnswers& NoCaseAnswers() {
    static TNoCaseAnswers answers;
    return answers;
}

QString SearchPathNoCase(const QString& path);

}  // namespace

QString FindPathNoCase(const QString& path) {
    if (path.isEmpty()) return {};
    if (QFileInfo::exists(path)) return path;
    const QString known = NoCaseAnswers().Find(path);
    if (!known.isEmpty() && QFileInfo::exists(known)) return known;
    const QString found = SearchPathNoCase(path);
    if (!found.isEmpty()) NoCaseAnswers().Keep(path, found);
    return found;
}

namespace {

QString SearchPathNoCase(const QString& path) {
    const bool absolute = path.startsWith(u'/');
    QString current = absolute ? QStringLiteral("/") : QStringLiteral(".");
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QString next = current == u"/" ? u'/' + part : current + u'/' + part;
        if (!QFileInfo::exists(next)) {
            const QDir dir(current);
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            QString found;
            for (const QString& e : entries)
                if (e.compare(part, Qt::CaseInsensitive) == 0) {
                    found = e;
                    break;
                }
            if (found.isEmpty()) return {};
            next = current == u"/" ? u'/' + found : current + u'/' + found;
        }
        current = next;
    }
    if (!absolute && current.startsWith(QStringLiteral("./"))) current.remove(0, 2);
    return current;
}

}  // namespace

QString ResolvePath(const QString& stored, const QString& referringFile) {
    QString p = NormalizeSeparators(stored.trimmed());
    if (p.isEmpty()) return p;
    const QString base = referringFile.isEmpty() ? QString() : QFileInfo(referringFile).absolutePath();
    const bool windowsAbs = IsWindowsAbsolute(p);
    const bool absolute = p.startsWith(u'/') || windowsAbs;
    if (!absolute) {
        const QString full = base.isEmpty() ? p : JoinPath(base, p);
        const QString hit = FindPathNoCase(full);
        return hit.isEmpty() ? full : hit;
    }
    if (!windowsAbs) {
        const QString hit = FindPathNoCase(p);
        if (!hit.isEmpty()) return hit;
    }
    if (!base.isEmpty()) {
        // Try ever shorter tails of the stored path beside the referring file.
        QStringList parts = (windowsAbs ? p.mid(2) : p).split(u'/', Qt::SkipEmptyParts);
        while (!parts.isEmpty()) {
            const QString hit = FindPathNoCase(JoinPath(base, parts.join(u'/')));
            if (!hit.isEmpty()) return hit;
            parts.removeFirst();
        }
    }
    return p;
}

QString ExtractFileName(const QString& path) {
    const qsizetype i = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(i + 1);
}

QString ExtractFilePath(const QString& path) {
    const qsizetype i = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return i < 0 ? QString() : path.left(i);
}

QString ChangeFileExt(const QString& path, const QString& ext) {
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString stem = dot > slash ? path.left(dot) : path;
    return stem + ext;
}
