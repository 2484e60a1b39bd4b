#pragma once
// The peer of the view's redraw: a bare QPainter loop that maps the same
// world polygons to pixels and draws them with the same pens and brushes
// into a QImage of the view's size.
#include <cmath>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QPoint>

#include "bench/ViewScene.h"

inline void PeerRedraw(QImage& image, const std::vector<TBenchPolygon>& scene, double left, double bottom,
                       double upp) {
    image.fill(Qt::white);
    QPainter p(&image);
    QPen pens[8];
    QBrush brushes[8];
    for (int i = 0; i < 8; ++i) {
        pens[i] = QPen(BenchPenColor(i), 1);
        brushes[i] = QBrush(BenchBrushColor(i));
    }
    const int h1 = image.height() - 1;
    std::vector<QPoint> pts;
    // In list order, as a layer paints its objects.
    for (auto it = scene.begin(); it != scene.end(); ++it) {
        pts.resize(it->xs.size());
        for (std::size_t k = 0; k < pts.size(); ++k)
            pts[k] = QPoint(static_cast<int>(std::nearbyint((it->xs[k] - left) / upp)),
                            static_cast<int>(std::nearbyint(h1 - (it->ys[k] - bottom) / upp)));
        p.setPen(pens[it->style]);
        p.setBrush(brushes[it->style]);
        p.drawPolygon(pts.data(), static_cast<int>(pts.size()));
    }
}
