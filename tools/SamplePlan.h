#pragma once
// The sample plan: a data folder with the plan's map of three hills (a
// coordinate-aware drawing in UTM, zone 24 south, on the application's
// default ellipsoid and datum, 19 / 8), the base layers of each hill, and a
// smaller map in geographic coordinates. Every layer is a theme layer in
// its map's coordinate system, with its style file and its dBase attribute
// table beside it (named in the layer file, no folder stored), one record
// per object (field "ID" = the object's Id, 20 hexadecimal digits). The same folder comes out of
// every run: all shapes follow from a fixed seed.
#include <QString>
#include <QStringList>

// The text of "source.tag"; a folder whose tag differs is out of date.
inline constexpr const char* kSamplePlanTag = "KOVI Zelto sample plan 5";
// The tag of the full-size plan.
inline constexpr const char* kFullPlanTag = "KOVI Zelto sample plan 5, full size";

// The small sample (three hills, light layers: quick to write, for tests)
// or the full-size plan for benchmarks: 25 hills whose base layers have a
// surveyed density (contour lines every metre, some 50k vertices a hill,
// 3,000 to 5,000 buildings a hill), about 2 million vertices and 100k
// records in all.
enum class TSamplePlanSize { Small, Full };

struct TSamplePlanFiles {
    QString MapFile;     // the plan's map (UTM)
    QString DatabaseFile;  // the plan's database
    QString GeoMapFile;  // the small map in geographic coordinates
    QStringList LayerFiles;  // every layer file written, base layers included
};

// The seven theme layers of the plan's map: caption and file name.
struct TSampleLayer {
    const char* Caption;
    const char* FileName;
};
extern const TSampleLayer kSampleThemeLayers[7];

// Writes the sample into the folder (made when missing; files already
// there are replaced). Raises EEngineError when a file cannot be written.
TSamplePlanFiles WriteSamplePlan(const QString& folder, TSamplePlanSize size = TSamplePlanSize::Small);
// The map file of a sample folder.
QString SampleMapFile(const QString& folder);
// The plan's database of a sample folder.
QString SampleDatabaseFile(const QString& folder);

// The alias of the plan's database.
inline const QString kSampleAlias = QStringLiteral("TRELQel");
// Registers the alias for the sample's database in the settings file, as
// an installer would: only when there is none (unless replace). True when
// it was written.
bool RegisterSampleAlias(const QString& folder, bool replace = false);

// The viewer's settings key ("Software\Ardo\" + the viewer's title).
inline const QString kSampleSettingsKey = QStringLiteral("Software\\Ardo\\KOVI Zelto - TREL - Inventário");
// The title the viewer shows for the sample's map.
inline const QString kSampleMapTitle = QStringLiteral("Inventário dos morros");
// Writes, as an installer would, the viewer's values that are not set yet:
// "Source" (the sample's folder), "DefaultMap" (its map) and
// "DefaultMapTitle". Answers the names written.
QStringList RegisterSampleDefaults(const QString& folder);
