// The map-object classes of this library in the class registry.
#include "engine/objects/Arc.h"
#include "engine/objects/Contour.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"

void RegisterBuiltInObjectClasses() {
    RegisterObjectClass(QStringLiteral("TPoint"), [] { return std::make_unique<TPoint>(); });
    RegisterObjectClass(QStringLiteral("TLine"), [] { return std::make_unique<TLine>(); });
    RegisterObjectClass(QStringLiteral("TPolyLine"), [] { return std::make_unique<TPolyLine>(); });
    RegisterObjectClass(QStringLiteral("TPolygon"), [] { return std::make_unique<TPolygon>(); });
    RegisterObjectClass(QStringLiteral("TContour"), [] { return std::make_unique<TContour>(); });
    RegisterTextClass();
    RegisterImageObjectClass();
    RegisterArcClasses();
}
