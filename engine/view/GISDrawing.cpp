#include "engine/view/GISDrawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "coords/MapProj.h"
#include "engine/objects/Contour.h"
#include "engine/view/CoordinateSystemPrefix.h"

TGISDrawing::TGISDrawing(QWidget* parent) : TDrawing(parent) {
    RegisterThemeLayerClass();
    SetLayers(std::make_unique<TThemeLayers>(this));
}

TGISDrawing::~TGISDrawing() = default;

void TGISDrawing::SetProjection(std::int32_t v) {
    if (!ProjectionChanges(v, projection_, ProjectionParams())) return;
    if (const auto units = ChangeProjection(v, projection_.Change(*this), projectionParams_.Change(*this)))
        SetCoordinateUnits(*units);
}

void TGISDrawing::SetProjectionParams(const TProjectionParams& params) {
    if (!projectionParams_.Get()) return;
    AssignProjectionParams(*projectionParams_.Change(*this), params);
}

TGISDrawing::TMeasuring TGISDrawing::Measuring() const {
    if (projection_ == -1 || projection_ == 1) return TMeasuring::Planar;
    if (projection_ != 0 || ellipsoid_ < 0 || ellipsoid_ >= EarthShapes().EllipsoidCount()) return TMeasuring::None;
    return TMeasuring::Geodesic;
}

TCoordinateSystem TGISDrawing::ViewCoordinateSystem() const {
    return {projection_, ellipsoid_, datum_, ProjectionParams()};
}

double TGISDrawing::Geodesic(double x1, double y1, double x2, double y2) const {
    TGeographicDistanceCalculator& calc = GeographicDistanceCalculator();
    calc.SetEllipsoid(&EarthShapes().GetEllipsoid(ellipsoid_));
    calc.Point1().SetLongitude(x1);
    calc.Point1().SetLatitude(y1);
    calc.Point2().SetLongitude(x2);
    calc.Point2().SetLatitude(y2);
    calc.CalculateDistance();
    return calc.Distance();
}

double TGISDrawing::DeltaX() const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::DeltaX();
    if (m == TMeasuring::None) return 0;
    const TVertex a = MeasureFrom(), b = MeasureTo();
    return ToDistanceUnits(Geodesic(a.X, a.Y, b.X, a.Y));
}

double TGISDrawing::DeltaY() const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::DeltaY();
    if (m == TMeasuring::None) return 0;
    const TVertex a = MeasureFrom(), b = MeasureTo();
    return ToDistanceUnits(Geodesic(a.X, a.Y, a.X, b.Y));
}

double TGISDrawing::Distance() const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::Distance();
    if (m == TMeasuring::None) return 0;
    const TVertex a = MeasureFrom(), b = MeasureTo();
    return ToDistanceUnits(Geodesic(a.X, a.Y, b.X, b.Y));
}

double TGISDrawing::MeasureLength(const TContour& contour) const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::MeasureLength(contour);
    if (m == TMeasuring::None) return 0;
    double sum = 0;
    const auto& p = contour.Points();
    for (std::size_t i = 1; i < p.size(); ++i) sum += Geodesic(p[i - 1].X, p[i - 1].Y, p[i].X, p[i].Y);
    return ToDistanceUnits(sum);
}

double TGISDrawing::MeasureArea(const TContour& contour) const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::MeasureArea(contour);
    if (m == TMeasuring::None) return 0;
    const TEllipsoid& e = EarthShapes().GetEllipsoid(ellipsoid_);
    return GeodesicRingArea(contour.Points(), e.A(), e.F());
}

double TGISDrawing::ScaleAt(double left, double bottom, double unitsPerPixel, int drawWidth,
                            double pixelSizeMetres) const {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) return TDrawing::ScaleAt(left, bottom, unitsPerPixel, drawWidth, pixelSizeMetres);
    if (m == TMeasuring::None) return std::nan("");
    // The device's own pixel and draw width: a printed page gets the
    // printer's, not the screen's.
    if (!(pixelSizeMetres > 0)) pixelSizeMetres = kPixelSizeMetres;
    const int w = std::max(drawWidth, 2);
    try {
        return Geodesic(left, bottom, left + (w - 1) * unitsPerPixel, bottom) / (w - 1) / pixelSizeMetres;
    } catch (const std::exception&) {
        return std::nan("");  // a window outside the latitudes keeps the last scale
    }
}

void TGISDrawing::SetScale(double value) {
    const TMeasuring m = Measuring();
    if (m == TMeasuring::Planar) {
        TDrawing::SetScale(value);
        return;
    }
    if (m == TMeasuring::None) return;
    if (!(value >= 1) || !std::isfinite(value)) return;
    scale_.Set(*this, value);
    const double g = value * kPixelSizeMetres;
    const double xL = GetViewLeft(), yB = GetViewBottom();
    TGeographicDistanceCalculator& calc = GeographicDistanceCalculator();
    calc.SetEllipsoid(&EarthShapes().GetEllipsoid(ellipsoid_));
    calc.Point1().SetLongitude(xL);
    calc.Point1().SetLatitude(yB);
    calc.SetAzimuth(90);
    calc.SetDistance(g * std::max(width() - 1, 1));
    calc.CalculateDestination();
    double x2 = calc.Point2().Longitude();
    if (x2 < xL) x2 += 360;  // across the antimeridian
    calc.SetAzimuth(0);
    calc.SetDistance(g * std::max(height() - 1, 1));
    calc.CalculateDestination();
    const double y2 = calc.Point2().Latitude();
    ZoomWindow(xL, yB, x2, y2);
}

std::function<void()> TGISDrawing::ReadPrefix(TStream& stream) {
    const TCoordinateSystemPrefix p = ReadCoordinateSystemPrefix(stream);
    return [this, p] {
        // Values the catalogue in force cannot serve are kept as stored
        // (and written back so); what can be drawn is drawn.
        const QString problem = CoordinateSystemProblem(p.Projection, p.Ellipsoid, p.Datum);
        if (!problem.isEmpty())
            DoError(QStringLiteral("Drawing \"%1\": its coordinate system cannot be used: %2")
                        .arg(ReferringFileName(), problem));
        projection_.Set(*this, -2);  // a fresh parameter object for the stored values
        SetProjection(p.Projection);
        if (ProjectionParams() != nullptr && p.Projection == 1) {
            // Stored values are taken as they are (the zone unchecked).
            std::string block;
            auto put = [&block](const void* v, std::size_t n) { block.append(static_cast<const char*>(v), n); };
            put(&p.UTM.ScaleFactor, 8);
            put(&p.UTM.FalseEasting, 8);
            put(&p.UTM.FalseNorthing, 8);
            put(&p.UTM.Zone, 4);
            put(&p.UTM.CentralMeridian, 8);
            projectionParams_.Change(*this)->ReadParams(block.data(), block.size());
        }
        SetEllipsoid(p.Ellipsoid);
        SetDatum(p.Datum);
    };
}

void TGISDrawing::WritePrefix(TStream& stream) {
    TCoordinateSystemPrefix p;
    p.Projection = projection_;
    if (const auto* utm = dynamic_cast<const TUTMProjectionParams*>(ProjectionParams())) {
        p.UTM.ScaleFactor = utm->ScaleFactor();
        p.UTM.FalseEasting = utm->FalseEasting();
        p.UTM.FalseNorthing = utm->FalseNorthing();
        p.UTM.Zone = utm->Zone();
        p.UTM.CentralMeridian = utm->CentralMeridian();
    }
    p.Ellipsoid = ellipsoid_;
    p.Datum = datum_;
    WriteCoordinateSystemPrefix(stream, p);
}

// ---------------------------------------------------------------- area

namespace {

// Lambert's cylindrical equal-area projection of the ellipsoid: the plane
// area of a figure equals its area on the ellipsoid.
struct TEqualArea {
    double a, e2, e, qp;
    TEqualArea(double a_, double f) : a(a_), e2(f * (2 - f)), e(std::sqrt(f * (2 - f))) { qp = Q(1.0); }
    double Q(double s) const {
        if (e2 == 0) return 2 * s;
        return (1 - e2) * (s / (1 - e2 * s * s) - std::log((1 - e * s) / (1 + e * s)) / (2 * e));
    }
    double X(double lonDeg) const { return a * lonDeg * std::numbers::pi / 180; }
    double Y(double latDeg) const { return a * Q(std::sin(latDeg * std::numbers::pi / 180)) / 2; }
};

constexpr int kMaxEdgeSteps = 16384;

}  // namespace

double GeodesicRingArea(const std::vector<TVertex>& ring, double a, double f) {
    std::size_t n = ring.size();
    if (n >= 2 && ring[n - 1].X == ring[0].X && ring[n - 1].Y == ring[0].Y) --n;
    if (n < 3) return 0;
    const TGeodesic g(a, f);
    const TEqualArea ea(a, f);
    // Each edge is followed along its geodesic in the equal-area plane: the
    // chords' sum is worked out with k and 2k steps per edge and the two
    // combined (Richardson), which removes the chords' leading error.
    const double x0 = ea.X(ring[0].X), y0 = ea.Y(ring[0].Y);
    double coarse = 0, fine = 0;
    double startLon = ring[0].X;  // unwrapped longitude of the edge's start
    for (std::size_t i = 0; i < n; ++i) {
        const TVertex& p1 = ring[i];
        const TVertex& p2 = ring[(i + 1) % n];
        const TGeodesicInverse inv = g.Inverse(p1.Y, p1.X, p2.Y, p2.X);
        // One step per 2 km; bounded (an edge of the Earth needs at most
        // about 10000), so that an ellipsoid of a damaged catalogue or a
        // distance that is not a number cannot stall the measure.
        const double wanted = std::ceil(inv.Distance / 2000.0);
        const int steps = wanted > 4 ? static_cast<int>(std::min(wanted, static_cast<double>(kMaxEdgeSteps))) : 4;
        double endLon = startLon;
        for (int pass = 0; pass < 2; ++pass) {
            const int m = steps << pass;
            double prevLon = startLon;
            double px = ea.X(startLon), py = ea.Y(p1.Y);
            double sum = 0;
            for (int k = 1; k <= m; ++k) {
                double lat, lon;
                if (k == m) {
                    lat = p2.Y;
                    lon = p2.X;
                } else {
                    const TGeodesicDirect d = g.Direct(p1.Y, p1.X, inv.Azimuth1, inv.Distance * k / m);
                    lat = d.Latitude;
                    lon = d.Longitude;
                }
                lon = prevLon + std::remainder(lon - prevLon, 360.0);
                prevLon = lon;
                const double x = ea.X(lon), y = ea.Y(lat);
                sum += (px - x0) * (y - y0) - (x - x0) * (py - y0);
                px = x;
                py = y;
            }
            (pass == 0 ? coarse : fine) += sum;
            endLon = prevLon;
        }
        startLon = endLon;
    }
    return std::abs((4 * fine - coarse) / 3) / 2;
}
