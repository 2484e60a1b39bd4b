#pragma once
// Reference ellipsoids and the geodetic datums defined on them.
// Names are kept as the catalogue's CP1252 bytes.
#include <memory>
#include <string>
#include <vector>

class TEllipsoid;

// A datum: its name ("datum - area") and the geocentric translation, in
// metres, that takes its geocentric coordinates to WGS 84 ones. Owned by
// its ellipsoid.
class TDatum {
public:
    TDatum(std::string name, double dx, double dy, double dz, TEllipsoid* ellipsoid);

    const std::string& Name() const { return name_; }
    double DX() const { return dx_; }
    double DY() const { return dy_; }
    double DZ() const { return dz_; }
    // The owning ellipsoid (never null for a datum made by AddDatum).
    TEllipsoid* Ellipsoid() const { return ellipsoid_; }

private:
    std::string name_;
    double dx_, dy_, dz_;
    TEllipsoid* ellipsoid_;
};

// An ellipsoid of revolution. A and F are fixed at construction; B and E2
// are derived from them there. Owns its datums.
class TEllipsoid {
public:
    // Raises ECoordinateError unless a is finite and positive and
    // 0 <= f < 0.5 (every solver of the module needs that).
    TEllipsoid(std::string name, double a, double f);
    TEllipsoid(const TEllipsoid&) = delete;
    TEllipsoid& operator=(const TEllipsoid&) = delete;
    ~TEllipsoid();

    const std::string& Name() const { return name_; }
    double A() const { return a_; }
    double B() const { return b_; }   // A - A F
    double F() const { return f_; }   // the flattening itself
    double E2() const { return e2_; } // 2F - F^2

    TDatum& AddDatum(std::string name, double dx, double dy, double dz);
    // Raises ECoordinateError ("List index out of bounds (i)") outside the list.
    TDatum& GetDatum(int index) const;
    int DatumCount() const { return static_cast<int>(datums_.size()); }
    void ClearDatums();

private:
    std::string name_;
    double a_, b_, f_, e2_;
    std::vector<std::unique_ptr<TDatum>> datums_;
};

// The list index error of the module's lists.
[[noreturn]] void RaiseListIndexError(int index);
