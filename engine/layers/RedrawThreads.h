#pragma once
// The layer list's redraw threads. A threaded redraw paints each layer of a
// range on a worker of a small process-wide pool, into a picture of its own
// (transparent, the size of the target); the thread that started it lays
// the pictures onto the target in painting order (the last layer first), as
// soon as the pictures before them are there. Workers touch nothing but
// their own layer and picture: the layers and their objects must not change
// while the redraw runs, which the layer list ensures by stopping it first
// (TLayers::WaitRedraw).
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QImage>
#include <QRect>
#include <QSize>

#include "engine/layers/LayerHost.h"

class QPainter;
class TDrawContext;
class TLayer;

// True on a worker of the redraw pool.
bool InRedrawWorker();

// A layer's picture: transparent but for the part the layer painted.
// Pictures are kept for the next redraw once laid, so that a redraw
// neither allocates nor clears whole pictures.
struct TLayerPicture {
    QImage Image;
    QRect Painted;  // what may be other than transparent
};

// One layer painted into its own picture on a worker.
class TLayerRedrawThread {
public:
    explicit TLayerRedrawThread(TLayer& layer) : layer_(&layer) {}
    TLayer& Layer() const { return *layer_; }
    // Paints the layer onto a transparent picture of the given size. The
    // stop flag ends the object loop early.
    void Run(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop);
    const TLayerPicture& Picture() const { return picture_; }
    // Hands the picture back for later redraws.
    void ReleasePicture();

private:
    TLayer* layer_;
    TLayerPicture picture_;
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
    bool Composed() const { return next_ == layers_.size(); }
    std::size_t Count() const { return layers_.size(); }
    TLayer& LayerAt(std::size_t i) const { return layers_[i].Layer(); }

    // What the workers share with this object (RedrawThreads.cpp).
    struct TState;

private:
    void LayOne(QPainter& target, std::size_t i);

    std::vector<TLayerRedrawThread> layers_;
    std::shared_ptr<TState> state_;
    std::size_t next_ = 0;  // the next picture to lay
};
