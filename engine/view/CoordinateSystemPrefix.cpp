#include "engine/view/CoordinateSystemPrefix.h"

#include "core/BinaryIO.h"
#include "coords/MapProj.h"

void WriteCoordinateSystemPrefix(TStream& s, const TCoordinateSystemPrefix& p) {
    WriteInt32(s, p.Projection);
    if (p.Projection == 1) {
        WriteDouble(s, p.UTM.ScaleFactor);
        WriteDouble(s, p.UTM.FalseEasting);
        WriteDouble(s, p.UTM.FalseNorthing);
        WriteInt32(s, p.UTM.Zone);
        WriteDouble(s, p.UTM.CentralMeridian);
    }
    WriteInt32(s, p.Ellipsoid);
    WriteInt32(s, p.Datum);
}

TCoordinateSystemPrefix ReadCoordinateSystemPrefix(TStream& s) {
    TCoordinateSystemPrefix p;
    p.Projection = ReadInt32(s);
    if (p.Projection == 1) {
        p.UTM.ScaleFactor = ReadDouble(s);
        p.UTM.FalseEasting = ReadDouble(s);
        p.UTM.FalseNorthing = ReadDouble(s);
        p.UTM.Zone = ReadInt32(s);
        p.UTM.CentralMeridian = ReadDouble(s);
    }
    p.Ellipsoid = ReadInt32(s);
    p.Datum = ReadInt32(s);
    return p;
}

QString CoordinateSystemProblem(std::int32_t projection, std::int32_t ellipsoid, std::int32_t datum) {
    if (projection == -1) return {};
    if (projection != 0 && projection != 1) return QStringLiteral("projection %1 is not known").arg(projection);
    TEarthShapes& shapes = EarthShapes();
    if (ellipsoid < 0 || ellipsoid >= shapes.EllipsoidCount())
        return QStringLiteral("ellipsoid %1 is not in the catalogue of %2").arg(ellipsoid).arg(shapes.EllipsoidCount());
    const int datums = shapes.GetEllipsoid(ellipsoid).DatumCount();
    if (datum < 0 || datum >= datums)
        return QStringLiteral("datum %1 is not among the %2 datums of ellipsoid %3").arg(datum).arg(datums).arg(ellipsoid);
    return {};
}
