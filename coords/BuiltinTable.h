#pragma once
// The built-in ellipsoid and datum table, as plain data.
#include <span>

struct TBuiltinDatum {
    const char* Name;  // CP1252 bytes
    double DX, DY, DZ;
};

struct TBuiltinEllipsoid {
    const char* Name;
    double A;
    double InverseF;  // 1/F as published; F = 1 / InverseF
    int FirstDatum;   // index into BuiltinDatums()
    int DatumCount;
};

std::span<const TBuiltinEllipsoid> BuiltinEllipsoids();
std::span<const TBuiltinDatum> BuiltinDatums();
