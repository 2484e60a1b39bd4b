#pragma once
// The parts of the sample plan beside its map, for the generator alone:
// the plan's database, the street-axis table and the media (photographs,
// orthophotos, rich-text chapters). Everything follows from fixed seeds.
#include <cstdint>
#include <map>
#include <vector>

#include <QString>

// splitmix64: the same numbers on every machine and compiler.
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : state_(seed) {}
    double Next() {  // [0, 1)
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) / 9007199254740992.0;
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }
    int Below(int n) { return static_cast<int>(Next() * n); }

private:
    std::uint64_t state_;
};

// A picture file the database names, to be drawn into a media folder.
struct TSamplePicture {
    enum TKind { pkPhoto, pkOrthophoto, pkLargeOrthophoto, pkDamaged };
    QString Folder;  // "fotos" or "ortofotos"
    QString Name;    // the file's name on disk
    TKind Kind;
    std::uint64_t Seed;
};

// One street axis of the map's street layer.
struct TSampleStreet {
    QString Id, Name, Kind;  // Kind: "AV", "R", "TV"
    double Length;           // metres
};

// What the records say of one risk sector, and the map's sector layer
// repeats: the number of dwellings and the risk grade ("R1".."R4").
struct TSectorFacts {
    int Homes = 0;
    QString Grade;
};

// What the plan's database holds that the map and the media need.
struct TSampleRecords {
    // The pictures its records name that exist (a missing one is left
    // out on purpose).
    std::vector<TSamplePicture> Pictures;
    // Each sector's facts, by its key ("M01S02").
    std::map<QString, TSectorFacts> Sectors;
};

// Writes the plan's SQLite database (25 hills, their risk sectors, works
// priorities) as folder/trel.db. The first mappedHills hills (those of the
// map) have the map's five sectors each; the others one to three.
TSampleRecords WriteSampleDatabase(const QString& file, int mappedHills);
// The street-axis table "eixo_logradouros.dbf" in the layer folder.
void WriteStreetAxes(const QString& layerFolder, const std::vector<TSampleStreet>& streets);
// The pictures, the staff, justification and methodology chapters.
void WriteSampleMedia(const QString& folder, const std::vector<TSamplePicture>& pictures);
