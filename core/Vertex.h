#pragma once
// A vertex: a light value in map units. Lines and areas keep their
// vertices as values; the point object sits on top where an API hands
// out a point.

struct TVertex {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;

    friend bool operator==(const TVertex& a, const TVertex& b) {
        return a.X == b.X && a.Y == b.Y && a.Z == b.Z;
    }
};
