#pragma once
// Folder and file names. Stored names are kept as written; on reading,
// ResolvePath finds the file they name on this machine.
#include <QString>

// Folder + "/" + name, both trimmed, case kept. No doubled separator; an
// empty folder gives the bare name.
QString JoinPath(const QString& folder, const QString& name);

// "\" becomes "/".
QString NormalizeSeparators(QString path);
// A folder name that is neither absolute here nor a Windows drive path
// (an empty name is relative too).
bool IsRelativeFolder(const QString& folder);

// The file named by a stored path. Separators are normalised; a name that
// does not exist is looked up again, folder by folder, without regard to
// case; a relative name is taken relative to the folder of referringFile
// (when given); an absolute Windows path ("C:\...") or an absolute folder
// that does not exist is tried relative to that folder, with ever shorter
// tails of the stored path. Returns the existing file when one is found,
// else the normalised stored path (relative ones joined to the referring
// folder).
QString ResolvePath(const QString& stored, const QString& referringFile = QString());

// The existing path that equals path without regard to case, component by
// component; empty when there is none.
QString FindPathNoCase(const QString& path);

// The file name without folder ("a/b/c.cam" -> "c.cam"), either separator.
QString ExtractFileName(const QString& path);
// The folder of a path without the trailing separator ("a/b/c.cam" -> "a/b").
QString ExtractFilePath(const QString& path);
// The path with its extension replaced (ext with its dot: ".lgc").
QString ChangeFileExt(const QString& path, const QString& ext);
