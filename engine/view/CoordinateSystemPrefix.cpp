#include "engine/view/CoordinateSystemPrefix.h"

#include "engine/core/BinaryIO.h"
#include "engine/core/Errors.h"
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
    if (p.Projection < -1 || p.Projection > 1)
        throw EFormatError(QStringLiteral("Invalid projection %1").arg(p.Projection));
    if (p.Projection == 1) {
        p.UTM.ScaleFactor = ReadDouble(s);
        p.UTM.FalseEasting = ReadDouble(s);
        p.UTM.FalseNorthing = ReadDouble(s);
        p.UTM.Zone = ReadInt32(s);
        p.UTM.CentralMeridian = ReadDouble(s);
        // Zones 0..59 from older files, 1..60 as the parameters set them
        // now: a view in zone 60 must open the file it saved.
        if (p.UTM.Zone < 0 || p.UTM.Zone > 60)
            throw EFormatError(QStringLiteral("Invalid UTM zone %1").arg(p.UTM.Zone));
    }
    // The indices point into the catalogue's order.
    TEarthShapes& shapes = EarthShapes();
    p.Ellipsoid = ReadInt32(s);
    if (p.Ellipsoid < 0 || p.Ellipsoid >= shapes.EllipsoidCount())
        throw EFormatError(QStringLiteral("Invalid ellipsoid %1").arg(p.Ellipsoid));
    p.Datum = ReadInt32(s);
    if (p.Datum < 0 || p.Datum >= shapes.GetEllipsoid(p.Ellipsoid).DatumCount())
        throw EFormatError(QStringLiteral("Invalid datum %1").arg(p.Datum));
    return p;
}
