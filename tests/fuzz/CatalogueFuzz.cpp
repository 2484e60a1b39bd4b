// The ellipsoid and datum catalogue ("geodesic/earthshp.geo"): read into a
// fresh catalogue; one that reads is written and must read back.
#include "coords/CoordsError.h"
#include "coords/DatumConverter.h"
#include "coords/EarthShapes.h"
#include "coords/Geodesic.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = fuzz::ScratchFolder().toStdString();
    const std::filesystem::path file = folder + "/earthshp.geo", copy = folder + "/copy.geo";
    fuzz::WriteFile(QString::fromStdString(file.string()), {data, size});
    TEarthShapes shapes;
    try {
        shapes.LoadFromFile(file);
    } catch (const ECoordinateError&) {
        return 0;
    }
    // What the view asks of each entry: a geodesic on the ellipsoid and a
    // datum shift from the first datum of the first ellipsoid.
    TDatumConverter shift;
    for (int i = 0; i < shapes.EllipsoidCount() && i < 8; ++i) {
        TEllipsoid& e = shapes.GetEllipsoid(i);
        TGeodesic(e.A(), e.F()).Inverse(-22.9, -43.2, -8.05, -34.9);
        for (int d = 0; d < e.DatumCount() && d < 8; ++d) {
            if (!shift.SourceDatum()) shift.SetSourceDatum(&e.GetDatum(d));
            shift.SetTargetDatum(&e.GetDatum(d));
            shift.SetLongitude(-43.2);
            shift.SetLatitude(-22.9);
            shift.SetHeight(10);
            (void)shift.TargetLatitude();
        }
    }
    shapes.SaveToFile(copy);
    TEarthShapes again;
    again.LoadFromFile(copy);
    return 0;
}
