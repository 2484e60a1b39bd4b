#pragma once
// Projection parameter objects (owned and stored by views and layers) and
// the converters between geographic and projected coordinates.
//
// Projection index: -1 local coordinates (no parameter object), 0
// geographic, 1 UTM.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "coords/GeographicCoordinates.h"
#include "coords/TransverseMercator.h"

class TEllipsoid;

class TProjectionParams {
public:
    virtual ~TProjectionParams() = default;
    virtual const char* ClassName() const { return "TProjectionParams"; }
    virtual std::unique_ptr<TProjectionParams> Clone() const;

    // Copies source into this object through source.AssignTo(*this). A null
    // source raises ECoordinateError ("Cannot assign a nil to a ...").
    void Assign(const TProjectionParams* source);
    // Base: raises ECoordinateError ("Cannot assign a ... to a ...").
    virtual void AssignTo(TProjectionParams& dest) const;

    // The stored parameter block: ParamsSize bytes, little-endian.
    virtual std::size_t ParamsSize() const { return 0; }
    // Appends the block to out.
    virtual void WriteParams(std::string& out) const {}
    // Reads the block from the first ParamsSize() bytes of data; raises
    // ECoordinateError when size is smaller.
    virtual void ReadParams(const char* data, std::size_t size) {}

    // True when other is present and has this object's class name.
    virtual bool IsEqual(const TProjectionParams* other) const;
};

class TGeographicProjectionParams : public TProjectionParams {
public:
    const char* ClassName() const override { return "TGeographicProjectionParams"; }
    std::unique_ptr<TProjectionParams> Clone() const override;
    void AssignTo(TProjectionParams& dest) const override {}
};

class TUTMProjectionParams : public TProjectionParams {
public:
    static constexpr std::size_t kBlockSize = 36;
    static constexpr int kMinZone = 1;
    static constexpr int kMaxZone = 60;

    TUTMProjectionParams() = default;  // k0 0.9996, zone 24 (-39), FE 500000, FN 10000000
    const char* ClassName() const override { return "TUTMProjectionParams"; }
    std::unique_ptr<TProjectionParams> Clone() const override;

    double ScaleFactor() const { return scaleFactor_; }
    void SetScaleFactor(double k0) { scaleFactor_ = k0; }
    int Zone() const { return zone_; }
    // Zones 1..60; sets CentralMeridian to 6 zone - 183. Another zone raises
    // ECoordinateError and changes nothing.
    void SetZone(int zone);
    double CentralMeridian() const { return centralMeridian_; }
    void SetCentralMeridian(double degrees) { centralMeridian_ = degrees; }
    double FalseEasting() const { return falseEasting_; }
    void SetFalseEasting(double metres) { falseEasting_ = metres; }
    double FalseNorthing() const { return falseNorthing_; }
    void SetFalseNorthing(double metres) { falseNorthing_ = metres; }

    // Dest must be a TUTMProjectionParams (ECoordinateError otherwise); all
    // five values are copied as they stand (a stored zone outside 1..60 too).
    void AssignTo(TProjectionParams& dest) const override;
    std::size_t ParamsSize() const override { return kBlockSize; }
    // ScaleFactor, FalseEasting, FalseNorthing (float64), Zone (int32),
    // CentralMeridian (float64). Read back as stored, zone unchecked.
    void WriteParams(std::string& out) const override;
    void ReadParams(const char* data, std::size_t size) override;
    bool IsEqual(const TProjectionParams* other) const override;

private:
    double scaleFactor_ = 0.9996;
    int zone_ = 24;
    double centralMeridian_ = -39.0;
    double falseEasting_ = 500000.0;
    double falseNorthing_ = 10000000.0;
};

// The parameter object of a registered class name ("TGeographicProjectionParams",
// "TUTMProjectionParams", without regard to case); null for another name.
std::unique_ptr<TProjectionParams> CreateProjectionParams(std::string_view className);
// The fresh parameter object of projection index 0 or 1; null for -1 and others.
std::unique_ptr<TProjectionParams> CreateProjectionParamsFor(int projection);

// Geographic <-> projected conversion of one point at a time.
//
// Direction 0 takes Longitude/Latitude to ProjectedX/ProjectedY, 1 the
// reverse; other directions convert nothing. Setters of the inputs of the
// current direction store their value (those of the other direction are
// ignored); the conversion runs once, when an output is first read after a
// change of the inputs, the ellipsoid or the parameters.
class TCoordinateConverter {
public:
    TCoordinateConverter();
    virtual ~TCoordinateConverter();
    TCoordinateConverter(const TCoordinateConverter&) = delete;
    TCoordinateConverter& operator=(const TCoordinateConverter&) = delete;

    // A fresh parameter object of this converter's kind.
    virtual std::unique_ptr<TProjectionParams> CreateParams() const;
    TProjectionParams& GetParams() { return *params_; }
    const TProjectionParams& GetParams() const { return *params_; }

    TGeographicCoordinates& Coordinates() { return coordinates_; }

    std::uint8_t Direction() const { return direction_; }
    void SetDirection(std::uint8_t direction) { direction_ = direction; }
    TEllipsoid* Ellipsoid() const { return ellipsoid_; }
    void SetEllipsoid(TEllipsoid* ellipsoid) { ellipsoid_ = ellipsoid; }  // not owned

    void SetLongitude(double x);
    void SetLatitude(double y);
    void SetProjectedX(double x);
    void SetProjectedY(double y);

    // Inputs read back as stored; outputs converted on demand (a conversion
    // error is raised here as ECoordinateError).
    double Longitude() const;
    double Latitude() const;
    double ProjectedX() const;
    double ProjectedY() const;

    // Runs the conversion of the current direction now.
    void Convert();

protected:
    explicit TCoordinateConverter(std::unique_ptr<TProjectionParams> params);
    // Computes the outputs of the current direction (0 or 1) from the inputs.
    virtual void DoConvert();

    TGeographicCoordinates coordinates_;
    std::unique_ptr<TProjectionParams> params_;
    std::uint8_t direction_ = 0;
    TEllipsoid* ellipsoid_ = nullptr;
    double longitude_ = 0, latitude_ = 0, projectedX_ = 0, projectedY_ = 0;

    // Inputs of the last conversion.
    struct TKey {
        std::uint8_t Direction = 0xFF;
        double In1 = 0, In2 = 0;
        const TEllipsoid* Ellipsoid = nullptr;
        double A = 0, F = 0, K0 = 0, FE = 0, FN = 0, CM = 0;
        bool operator==(const TKey&) const = default;
    };
    TKey last_;
    TKey CurrentKey() const;

private:
    void Ensure() const;
};

// UTM (Transverse Mercator) conversion with the parameters of a
// TUTMProjectionParams. Requires Ellipsoid (ECoordinateError otherwise).
class TUTMConverter : public TCoordinateConverter {
public:
    TUTMConverter();
    std::unique_ptr<TProjectionParams> CreateParams() const override;
    TUTMProjectionParams& GetUTMParams();

protected:
    void DoConvert() override;

private:
    std::unique_ptr<TTransverseMercator> tm_;  // for the current (A, F, k0)
};

// Pure UTM conversions with the parameters' false origin and central
// meridian, for batches of points. A false easting or northing that is not
// a finite number raises ECoordinateError, as do the Transverse Mercator's
// refusals.
void UTMForward(const TTransverseMercator& tm, const TUTMProjectionParams& params, double longitude,
                double latitude, double& easting, double& northing);
void UTMInverse(const TTransverseMercator& tm, const TUTMProjectionParams& params, double easting,
                double northing, double& longitude, double& latitude);
