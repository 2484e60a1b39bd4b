#pragma once
// A bench scene: 10k polygons of 100 vertices each (1M vertices) spread
// over a 1920x1080 view, with eight pen and brush colours.
#include <cmath>
#include <random>
#include <vector>

#include <QColor>

struct TBenchPolygon {
    std::vector<double> xs, ys;
    int style;  // 0..7
};

inline QColor BenchPenColor(int style) { return QColor::fromHsv(style * 45, 255, 120); }
inline QColor BenchBrushColor(int style) { return QColor::fromHsv(style * 45, 120, 240); }

// World units are metres; the view window is (0, 0)-(19190, 10790), ten
// metres to a pixel on a 1920x1080 view.
inline std::vector<TBenchPolygon> MakeBenchScene(int polygons = 10000, int vertices = 100) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> cx(0, 19190), cy(0, 10790), rad(60, 260), jitter(0.7, 1.0);
    std::vector<TBenchPolygon> out(static_cast<std::size_t>(polygons));
    for (int i = 0; i < polygons; ++i) {
        auto& p = out[static_cast<std::size_t>(i)];
        p.style = i % 8;
        const double x0 = cx(rng), y0 = cy(rng), r = rad(rng);
        for (int k = 0; k < vertices; ++k) {
            const double a = 2 * M_PI * k / vertices;
            const double rr = r * jitter(rng);
            p.xs.push_back(x0 + rr * std::cos(a));
            p.ys.push_back(y0 + rr * std::sin(a));
        }
    }
    return out;
}
