#include "coords/MapProj.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

struct TCoordinateModule {
    TEarthShapes Shapes;
    std::string LoadMessage;
    TGeographicDistanceCalculator Calculator;
    TDatumConverter Converter;

    TCoordinateModule() {
        std::vector<std::filesystem::path> candidates;
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (!ec) candidates.push_back(FindCatalogueFile(exe.parent_path()));
        candidates.push_back(FindCatalogueFile({}));
        LoadMessage = LoadCatalogue(Shapes, candidates);
    }
};

TCoordinateModule& Module() {
    // Made once, never freed: callers may use it during static destruction.
    static TCoordinateModule* module = new TCoordinateModule();
    return *module;
}

}  // namespace

TEarthShapes& EarthShapes() { return Module().Shapes; }
const std::string& EarthShapesLoadMessage() { return Module().LoadMessage; }
TGeographicDistanceCalculator& GeographicDistanceCalculator() { return Module().Calculator; }
TDatumConverter& DatumConverter() { return Module().Converter; }
