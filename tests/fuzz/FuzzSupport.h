#pragma once
// What the fuzz targets share: the application objects a reader needs (an
// offscreen QApplication, the engine started with settings and data
// folders of its own), one scratch folder per process, the sample plan
// written once into it, and inputs that hold two files.
//
// A target passes each input to a reader and lets through only the
// errors a reader may raise on bad bytes (the engine's and the coordinate
// module's); anything else (a crash, a sanitizer report, another
// exception, a hang, an allocation beyond the limit) is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include <QByteArray>
#include <QString>

#include "tools/SamplePlan.h"

namespace fuzz {

// The QApplication (offscreen), and with engine set, StartEngine. Call
// first, from every target; later calls do nothing more.
void StartApplication(bool engine = true);

// A folder of this process (under /dev/shm when there is one), removed
// when the process ends normally.
const QString& ScratchFolder();

// The sample plan, written into the scratch folder on first use.
const TSamplePlanFiles& SamplePlan();

// Prints a reader's message when KZ_FUZZ_VERBOSE is set (to see why seeds
// are refused); nothing otherwise.
void Report(const QString& message);

// Replaces the file's content.
void WriteFile(const QString& path, std::span<const std::uint8_t> bytes);
inline void WriteFile(const QString& path, const QByteArray& bytes) {
    WriteFile(path, {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}

// An input of two files: a 4-byte little-endian length n, the first file
// (n bytes, or what is left), then the second file. Shorter inputs are
// the first file alone.
struct TTwoFiles {
    QByteArray First, Second;
};
TTwoFiles SplitTwoFiles(const std::uint8_t* data, std::size_t size);
QByteArray JoinTwoFiles(const QByteArray& first, const QByteArray& second);

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

}  // namespace fuzz

class TLayer;
class TDrawing;

namespace fuzz {

// A plain view of 320 x 240 pixels, made on first use (after
// StartApplication) and kept.
TDrawing* PlainView();

// What the view does with an open layer: its bounds, a zoom to them, the
// searches of the pick and selection tools (the layer's own and through the
// spatial index, over the whole layer, a quarter of it and a point), a
// lookup of some objects by key, the objects' own bounds and pixel sizes,
// and a redraw of the view.
void ExerciseLayer(TDrawing& view, TLayer& layer);

}  // namespace fuzz
