#pragma once
// A filled box map object for the view tests.
#include <QPainter>

#include "engine/core/BinaryIO.h"
#include "engine/layers/Layer.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/VisualObject.h"

class TViewBox : public TDrawingShape {
public:
    TViewBox() = default;
    TViewBox(double x1, double y1, double x2, double y2) : X1(x1), Y1(y1), X2(x2), Y2(y2) {}
    QString ClassName() const override { return QStringLiteral("TViewBox"); }
    double GetLowerX() const override { return X1; }
    double GetLowerY() const override { return Y1; }
    double GetUpperX() const override { return X2; }
    double GetUpperY() const override { return Y2; }
    void LoadFromStream(TStream& s) override {
        TDrawingShape::LoadFromStream(s);
        X1 = ReadDouble(s);
        Y1 = ReadDouble(s);
        X2 = ReadDouble(s);
        Y2 = ReadDouble(s);
        Fill = ReadInt32(s);
    }
    void SaveToStream(TStream& s) const override {
        TDrawingShape::SaveToStream(s);
        WriteDouble(s, X1);
        WriteDouble(s, Y1);
        WriteDouble(s, X2);
        WriteDouble(s, Y2);
        WriteInt32(s, Fill);
    }
    bool CrossesRect(double x1, double y1, double x2, double y2) const override {
        return X1 <= x2 && X2 >= x1 && Y1 <= y2 && Y2 >= y1;
    }
    void Draw(TDrawContext& dc) override {
        TDrawingShape::Draw(dc);
        QPainter& p = dc.Painter();
        p.setBrush(ColorToQColor(Fill));
        p.drawRect(QRect(dc.WorldToScreen(X1, Y2), dc.WorldToScreen(X2, Y1)));
    }
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    TColor Fill = clRed;
};

inline void RegisterViewBox() {
    RegisterObjectClass(QStringLiteral("TViewBox"), [] { return std::make_unique<TViewBox>(); });
}
