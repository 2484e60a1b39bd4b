#pragma once
// The plan's data folder: the folder that holds the marker file
// "source.tag". The plan's map, base layers, tables and media
// (photographs, orthophotos, rich-text chapters) lie under it, and the
// fixed Windows folders that the plan's files and records name
// ("c:\trel\marvela\camadas") are read under it. Every such path goes
// through DataPath or DataFile; nothing else builds one.
#include <QString>

// The name of the marker file.
inline constexpr const char* kDataFolderMarker = "source.tag";

// The data folder found last (see SetDataFolder); empty until one is.
QString DataFolder();
void SetDataFolder(const QString& folder);

// A path of the plan's files on this machine. A fixed Windows path under
// "c:\trel\" (any letter case, either separator) and a relative path are
// both taken under the data folder ("c:\trel\marvela\camadas\x.dbf" ->
// <data folder>/Marvela/camadas/x.dbf); each component is looked up
// without regard to case. Any other absolute path is resolved as it
// stands. The result names the existing file when there is one.
QString DataPath(const QString& path);

// A file named by a record (a photograph's name) in a sub-folder of the
// data folder ("fotos"): the resolved path, or empty when the name is
// empty, absolute, or climbs out of its folder (".."): such a name is
// treated as a missing file.
QString DataFile(const QString& folder, const QString& name);
