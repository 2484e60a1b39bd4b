#pragma once
// Small map objects for the layer and view tests: an axis-aligned box whose
// payload is the key and four doubles, a filled box that paints itself, a
// slow one, and a view stand-in.
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Color.h"
#include "engine/layers/LayerHost.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/VisualObject.h"
#include "engine/symbology/ThemeClass.h"

// Live test boxes, to tell freed objects from alive ones.
inline std::set<const void*>& LiveBoxes() {
    static std::set<const void*> live;
    return live;
}

class TTestBox : public TDrawingShape {
public:
    TTestBox() { LiveBoxes().insert(this); }
    TTestBox(double x1, double y1, double x2, double y2, const QString& id = {}) : X1(x1), Y1(y1), X2(x2), Y2(y2) {
        LiveBoxes().insert(this);
        if (!id.isEmpty()) SetId(id);
    }
    ~TTestBox() override { LiveBoxes().erase(this); }
    QString ClassName() const override { return QStringLiteral("TTestBox"); }
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
    }
    void SaveToStream(TStream& s) const override {
        TDrawingShape::SaveToStream(s);
        WriteDouble(s, X1);
        WriteDouble(s, Y1);
        WriteDouble(s, X2);
        WriteDouble(s, Y2);
    }
    bool InRect(double x1, double y1, double x2, double y2) const override {
        return X1 >= x1 && X2 <= x2 && Y1 >= y1 && Y2 <= y2;
    }
    bool CrossesRect(double x1, double y1, double x2, double y2) const override {
        return X1 <= x2 && X2 >= x1 && Y1 <= y2 && Y2 >= y1;
    }
    void Draw(TDrawContext& dc) override {
        TDrawingShape::Draw(dc);
        if (ThrowOnDraw) throw EEngineError(QStringLiteral("cannot draw"));
        if (DrawLog != nullptr) DrawLog->push_back(this);
    }

    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    bool ThrowOnDraw = false;
    static inline std::vector<const TVisualObject*>* DrawLog = nullptr;
};

inline void RegisterTestBox() {
    RegisterObjectClass(QStringLiteral("TTestBox"), [] { return std::make_unique<TTestBox>(); });
}

// A test box that stores its fill colour after the corners and paints
// itself filled, for the tests that look at the picture.
class TViewBox : public TTestBox {
public:
    TViewBox() = default;
    TViewBox(double x1, double y1, double x2, double y2) : TTestBox(x1, y1, x2, y2) {}
    QString ClassName() const override { return QStringLiteral("TViewBox"); }
    void LoadFromStream(TStream& s) override {
        TTestBox::LoadFromStream(s);
        Fill = ReadInt32(s);
    }
    void SaveToStream(TStream& s) const override {
        TTestBox::SaveToStream(s);
        WriteInt32(s, Fill);
    }
    void Draw(TDrawContext& dc) override {
        TTestBox::Draw(dc);
        QPainter& p = dc.Painter();
        p.setBrush(ColorToQColor(Fill));
        p.drawRect(QRect(dc.WorldToScreen(X1, Y2), dc.WorldToScreen(X2, Y1)));
    }
    TColor Fill = clRed;
};

inline void RegisterViewBox() {
    RegisterObjectClass(QStringLiteral("TViewBox"), [] { return std::make_unique<TViewBox>(); });
}

// A box that takes its time to draw (for the redraw threads' tests) and
// counts the draws begun, running and ended. The counts are relaxed: they
// order nothing between the workers and the test, so that a race the test
// looks for under ThreadSanitizer is not hidden by them.
class TSlowBox : public TViewBox {
public:
    using TViewBox::TViewBox;
    void Draw(TDrawContext& dc) override {
        Started.fetch_add(1, std::memory_order_relaxed);
        Active.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        TViewBox::Draw(dc);
        Drawn.fetch_add(1, std::memory_order_relaxed);
        Active.fetch_sub(1, std::memory_order_relaxed);
    }
    static inline std::atomic<int> Started{0}, Active{0}, Drawn{0};
};

// Waits until a slow box has begun drawing since Started was `before`;
// false when a minute passes first.
inline bool AwaitSlowDraw(int before) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (TSlowBox::Started.load(std::memory_order_relaxed) <= before)
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::microseconds(100));
    return true;
}

// Runs the event loop until done() holds; false when a minute passes first.
template <typename F>
bool ProcessEventsUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// A view stand-in: a 100 x 100 picture showing the world window 0..100.
class TFakeHost : public TLayerHost {
public:
    TFakeHost() : image_(100, 100, QImage::Format_ARGB32), painter_(&image_), dc_(painter_, {100, 100}, 0, 100, 1) {}
    TDrawContext* HostDrawContext() override { return &dc_; }
    void RedrawRequested() override { ++Redraws; }
    void LayerOpenFailed(TLayer&, const QString& message) override { Failures.push_back(message); }
    QString ReferringFileName() const override { return Referring; }

    int Redraws = 0;
    std::vector<QString> Failures;
    QString Referring;

private:
    QImage image_;
    QPainter painter_;
    TLinearDrawContext dc_;
};
