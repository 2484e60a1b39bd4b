#include "engine/layers/RedrawThreads.h"

#include <algorithm>
#include <deque>
#include <thread>

#include <QPainter>

#include "engine/layers/Layer.h"
#include "engine/objects/DrawContext.h"

namespace {

thread_local bool tInWorker = false;

// The workers: as many as the machine has cores. The pool is made on first
// use and never freed, so that no worker is joined while static objects
// (and the fonts of its thread) are being torn down at exit.
class TRedrawPool {
public:
    static TRedrawPool& Instance() {
        static TRedrawPool* pool = new TRedrawPool;
        return *pool;
    }

    void Submit(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

private:
    TRedrawPool() {
        const unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i) std::thread([this] { Work(); }).detach();
    }

    void Work() {
        tInWorker = true;
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !queue_.empty(); });
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace

bool InRedrawWorker() { return tInWorker; }

// ---------------------------------------------------------------- one layer

void TLayerRedrawThread::Run(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop) {
    picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    picture_.fill(Qt::transparent);
    QPainter painter(&picture_);
    std::unique_ptr<TDrawContext> dc = maker(painter);
    if (!dc) return;
    dc->SetStopFlag(&stop);
    try {
        layer_->Draw(dc.get());
    } catch (const std::exception&) {
        // A layer that cannot draw leaves its picture as far as it got.
    }
}

// ---------------------------------------------------------------- the range

// What the workers share with the owner. Kept alive by the tasks still
// queued, which find it stopped and leave at once.
struct TLayersRedrawThread::TState {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> stop{false};
    bool stopped = false;  // under mutex: no task starts after this
    int running = 0;       // tasks painting now
    std::vector<char> done;
    QSize size;
    TDrawContextMaker maker;
    std::function<void()> ready;
};

TLayersRedrawThread::TLayersRedrawThread(std::vector<TLayer*> layers, QSize size, TDrawContextMaker maker,
                                         std::function<void()> ready)
    : state_(std::make_shared<TState>()) {
    layers_.reserve(layers.size());
    for (TLayer* l : layers) layers_.emplace_back(*l);
    state_->done.assign(layers_.size(), 0);
    state_->size = size;
    state_->maker = std::move(maker);
    state_->ready = std::move(ready);
    for (std::size_t i = 0; i < layers_.size(); ++i) {
        TLayerRedrawThread* item = &layers_[i];
        TRedrawPool::Instance().Submit([s = state_, item, i] {
            {
                std::lock_guard lock(s->mutex);
                if (s->stopped) return;
                ++s->running;
            }
            item->Run(s->size, s->maker, s->stop);
            {
                std::lock_guard lock(s->mutex);
                s->done[i] = 1;
            }
            if (s->ready) s->ready();
            {
                std::lock_guard lock(s->mutex);
                --s->running;
            }
            s->changed.notify_all();
        });
    }
}

TLayersRedrawThread::~TLayersRedrawThread() {
    Stop();
    Wait();
}

void TLayersRedrawThread::Stop() {
    std::lock_guard lock(state_->mutex);
    state_->stopped = true;
    state_->stop = true;
}

void TLayersRedrawThread::Wait() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->running == 0; });
}

void TLayersRedrawThread::LayOne(QPainter& target, std::size_t i) {
    target.save();
    target.setCompositionMode(QPainter::CompositionMode_SourceOver);
    target.resetTransform();
    target.setClipping(false);
    target.drawImage(0, 0, layers_[i].Picture());
    target.restore();
    layers_[i].DropPicture();
}

bool TLayersRedrawThread::ComposeReady(QPainter& target) {
    for (;;) {
        {
            std::lock_guard lock(state_->mutex);
            if (next_ >= layers_.size() || !state_->done[next_]) break;
        }
        LayOne(target, next_++);
    }
    return Composed();
}

void TLayersRedrawThread::ComposeAll(QPainter& target) {
    while (next_ < layers_.size()) {
        {
            std::unique_lock lock(state_->mutex);
            state_->changed.wait(lock, [this] { return state_->done[next_] != 0; });
        }
        LayOne(target, next_++);
    }
}
