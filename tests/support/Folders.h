#pragma once
// Test folders: a copy of a folder's files, sub-folders included (the
// window tests work on a copy of the sample plan).
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include "core/Paths.h"

inline void CopyFolder(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = JoinPath(to, QDir(from).relativeFilePath(src));
        QDir().mkpath(ExtractFilePath(dst));
        QFile::copy(src, dst);
    }
}
