#pragma once
// The layer list's redraw threads. A threaded redraw paints the layers of a
// range on the workers of a small process-wide pool: runs of consecutive
// layers, each run into a picture of its own (transparent, the size of the
// target); the thread that started it lays the pictures onto the target in
// painting order (the last layer first), as soon as the pictures before
// them are there. Workers touch nothing but their own layers and picture:
// the layers, their objects and the values of the view they read must not
// change while the redraw runs, which their guards ensure by stopping it
// first (TLayers::WaitRedraw; RedrawGuard.h). Nothing a worker raises
// leaves it: the picture ends there and the error goes to the owner with
// the redraw's end. No task of the pool ever waits for another thread.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include "engine/layers/LayerHost.h"

class QPainter;
class TDrawContext;
class TLayer;

// True on a worker of the redraw pool.
bool InRedrawWorker();

// The work of drawing a layer, in nanoseconds: the time its last drawing
// took, or, before it has been drawn, a microsecond for each object.
std::int64_t RedrawWork(const TLayer& layer);

// The picture of a run of layers: transparent but for the part they
// painted.
// Pictures are kept for the next redraw once laid, so that a redraw
// neither allocates nor clears whole pictures.
struct TLayerPicture {
    QImage Image;
    QRect Painted;  // what may be other than transparent
};

// A run of layers painted, in the order given, into one picture on a
// worker.
class TLayerRedrawThread {
public:
    explicit TLayerRedrawThread(std::vector<TLayer*> layers) : layers_(std::move(layers)) {}
    // Paints the layers onto a transparent picture of the given size. The
    // stop flag ends the object loop early. Raises nothing: what fails (a
    // layer, the context, the picture) leaves the picture as far as it got
    // and its message in Error.
    void Run(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop);
    const TLayerPicture& Picture() const { return picture_; }
    // Hands the picture back for later redraws.
    void ReleasePicture();
    // The first failure of Run; empty for none.
    const QString& Error() const { return error_; }

private:
    void Paint(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop);
    // The first error of the run, as the owner is told it.
    void NoteError(const char* what);
    void Fail(const char* what);

    std::vector<TLayer*> layers_;
    TLayerPicture picture_;
    QString error_;
};

// A threaded redraw of layers, given in painting order.
class TLayersRedrawThread {
public:
    // Starts painting at once. ready is called on a worker each time a
    // picture is done; it must only hand the news over to the owner's thread
    // (the owner then calls ComposeReady).
    TLayersRedrawThread(std::vector<TLayer*> layers, QSize size, TDrawContextMaker maker,
                        std::function<void()> ready);
    // Stops and waits.
    ~TLayersRedrawThread();
    TLayersRedrawThread(const TLayersRedrawThread&) = delete;
    TLayersRedrawThread& operator=(const TLayersRedrawThread&) = delete;

    // Asks the workers to stop after the object they draw; layers not begun
    // are left out.
    void Stop();
    // Returns when no worker paints for this redraw any more.
    void Wait();
    // Lays the pictures done so far that follow, in painting order, the ones
    // already laid onto the painter; true when every picture has been laid.
    bool ComposeReady(QPainter& target);
    // Waits for the remaining pictures and lays them in order.
    void ComposeAll(QPainter& target);
    bool Composed() const { return next_ == pictures_.size(); }
    // The first failure of the pictures painted, in painting order; empty
    // for none. Once the workers are done (Composed, or after Wait).
    QString Error() const;
    // The layers, in painting order.
    const std::vector<TLayer*>& Layers() const { return layers_; }

    // What the workers share with this object (RedrawThreads.cpp).
    struct TState;

private:
    void LayOne(QPainter& target, std::size_t i);

    std::vector<TLayer*> layers_;
    std::vector<TLayerRedrawThread> pictures_;
    std::shared_ptr<TState> state_;
    std::size_t next_ = 0;  // the next picture to lay
};
