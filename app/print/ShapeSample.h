#pragma once
// A sample of a pen and a brush: a rectangle outlined in the pen's colour
// and width and filled with the brush's colour. The print dialog shows its
// colours and widths with it.
#include <QColor>
#include <QWidget>

class TShapeSample : public QWidget {
public:
    explicit TShapeSample(QWidget* parent = nullptr) : QWidget(parent) {}

    QColor PenColor() const { return penColor_; }
    void SetPenColor(const QColor& v) { penColor_ = v; update(); }
    int PenWidth() const { return penWidth_; }
    void SetPenWidth(int v) { penWidth_ = v; update(); }
    QColor BrushColor() const { return brushColor_; }
    void SetBrushColor(const QColor& v) { brushColor_ = v; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor penColor_ = Qt::black;
    int penWidth_ = 1;
    QColor brushColor_ = Qt::white;
};
