#include "engine/layers/RedrawThreads.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <thread>

#include <QPainter>

#include "core/Errors.h"
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

// Pictures laid and kept for the next redraws, of the last size asked for:
// as many as a redraw has out at once.
class TPictureStore {
public:
    static TPictureStore& Instance() {
        static TPictureStore* store = new TPictureStore;
        return *store;
    }

    TLayerPicture Take(QSize size) {
        {
            std::lock_guard lock(mutex_);
            while (!spare_.empty()) {
                TLayerPicture p = std::move(spare_.back());
                spare_.pop_back();
                if (p.Image.size() == size) return p;
            }
        }
        TLayerPicture p{QImage(size, QImage::Format_ARGB32_Premultiplied), QRect()};
        if (!p.Image.isNull()) p.Image.fill(Qt::transparent);
        return p;
    }

    void Give(TLayerPicture picture) {
        if (picture.Image.isNull()) return;
        std::lock_guard lock(mutex_);
        if (!spare_.empty() && spare_.front().Image.size() != picture.Image.size()) spare_.clear();
        if (spare_.size() < kMaxSpare) spare_.push_back(std::move(picture));
    }

private:
    const std::size_t kMaxSpare = 2 * std::max(2u, std::thread::hardware_concurrency());
    std::mutex mutex_;
    std::vector<TLayerPicture> spare_;
};

// Makes the painted part of a picture transparent again.
void ClearPainted(TLayerPicture& p) {
    const QRect r = p.Painted & p.Image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(p.Image.scanLine(y) + r.left() * 4, 0, static_cast<std::size_t>(r.width()) * 4);
    p.Painted = QRect();
}

// Whether the pixels [x, x + n) of a row are all transparent; written
// without an early exit so that it runs on whole vectors.
template <int n>
bool Clear(const std::uint32_t* row, int x) {
    std::uint32_t any = 0;
    for (int k = 0; k < n; ++k) any |= row[x + k];
    return any == 0;
}

// The smallest rectangle holding every pixel that is not transparent. Rows
// are skipped a block of pixels at a time: most of a layer's picture is
// empty, and this runs once for each layer of each redraw.
QRect PaintedRect(const QImage& image) {
    constexpr int kBlock = 32;
    const int w = image.width(), h = image.height();
    int left = w, right = -1, top = -1, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        int x = 0;
        while (x + kBlock <= w && Clear<kBlock>(row, x)) x += kBlock;
        while (x < w && row[x] == 0) ++x;
        if (x == w) continue;
        if (top < 0) top = y;
        bottom = y;
        left = std::min(left, x);
        int z = w;  // one past the last pixel still to look at
        while (z - kBlock > right && z - kBlock >= x && Clear<kBlock>(row, z - kBlock)) z -= kBlock;
        --z;
        while (z > right && row[z] == 0) --z;
        right = std::max(right, z);
    }
    if (top < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Gives a worker's painter a pen, brush and font of its own, equal to the
// ones it has. A new painter's pen, brush and font share one process-wide
// copy each (Qt's default pen, its empty brush and the application font);
// every save()/restore() and pen copy of every object drawn counts
// references on them, and workers doing so at once on one cache line spend
// more time there than drawing.
void OwnPainterState(QPainter& painter) {
    const QPen old = painter.pen();
    QPen pen(QBrush(old.color(), old.brush().style()), old.widthF(), old.style(), old.capStyle(), old.joinStyle());
    pen.setCosmetic(old.isCosmetic());
    pen.setMiterLimit(old.miterLimit());
    if (pen == old) {
        // setPen keeps a pen equal to the one it has: go by another one.
        painter.setPen(Qt::NoPen);
        painter.setPen(pen);
    }

    const QBrush oldBrush = painter.brush();
    if (oldBrush.style() == Qt::NoBrush) {
        QBrush brush(oldBrush.color(), Qt::SolidPattern);
        brush.setStyle(Qt::NoBrush);  // own data, unlike QBrush(Qt::NoBrush)
        brush.setTransform(oldBrush.transform());
        painter.setBrush(brush);
    }

    QFont font = painter.font();
    font.setStyleStrategy(font.styleStrategy());  // detaches it, nothing else
    painter.setFont(font);

    // The paint engine keeps in the state the pen and brush it last drew
    // with, which save() copies too: a triangle outside the picture, which
    // paints nothing, makes them the ones above.
    const QPoint outside[3] = {{-8, -8}, {-6, -8}, {-8, -6}};
    painter.drawPolygon(outside, 3);
}

}  // namespace

bool InRedrawWorker() { return tInWorker; }

std::int64_t RedrawWork(const TLayer& layer) {
    const std::int64_t t = layer.LastDrawTime();
    return t > 0 ? t : 1000 * (std::int64_t(layer.GetObjectCount()) + 1);
}

// ---------------------------------------------------------------- one layer

void TLayerRedrawThread::Run(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop) {
    error_.clear();
    try {
        Paint(size, maker, stop);
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("erro desconhecido");
    }
}

void TLayerRedrawThread::NoteError(const char* what) {
    if (error_.isEmpty()) error_ = QStringLiteral("Não foi possível desenhar o mapa: %1").arg(QString::fromUtf8(what));
}

void TLayerRedrawThread::Fail(const char* what) {
    NoteError(what);
    // What it painted before it failed is looked for in the picture.
    if (!picture_.Image.isNull()) picture_.Painted = PaintedRect(picture_.Image);
}

void TLayerRedrawThread::Paint(QSize size, const TDrawContextMaker& maker, const std::atomic<bool>& stop) {
    picture_ = TPictureStore::Instance().Take(size);
    if (picture_.Image.isNull())
        throw EEngineError(QStringLiteral("não há memória para uma imagem de %1 x %2 pixels").arg(size.width()).arg(size.height()));
    ClearPainted(picture_);
    // The layers' painters tell what they painted; when a layer was drawn
    // otherwise, the picture is looked through.
    QRect painted;
    bool exact = true;
    {
        QPainter painter(&picture_.Image);
        OwnPainterState(painter);
        std::unique_ptr<TDrawContext> dc = maker(painter);
        if (!dc) throw EEngineError(QStringLiteral("sem contexto de desenho"));
        dc->SetStopFlag(&stop);
        for (TLayer* layer : layers_) {
            if (stop) break;
            TPaintedArea area;
            dc->SetPaintedArea(&area);
            try {
                ++layer->workerDraws_;
                struct TDrawing {
                    std::atomic<int>& count;
                    ~TDrawing() { --count; }
                } drawing{layer->workerDraws_};
                layer->Draw(dc.get());
            } catch (const std::exception& e) {
                // A layer that cannot draw leaves its picture as far as it got.
                area.Unknown();
                NoteError(e.what());
            }
            exact = exact && area.Exact();
            painted |= area.Rect();
        }
    }
    picture_.Painted = exact ? painted & picture_.Image.rect() : PaintedRect(picture_.Image);
#ifndef NDEBUG
    // The painters' areas hold all they painted: a pixel outside would stay
    // in the picture when it is used again.
    const QRect all = PaintedRect(picture_.Image);
    assert((all.isNull() || picture_.Painted.contains(all)) && "a painter left out part of what it painted");
#endif
}

void TLayerRedrawThread::ReleasePicture() {
    TPictureStore::Instance().Give(std::move(picture_));
    picture_ = TLayerPicture();
}

// ---------------------------------------------------------------- the range

// What the workers share with the owner. Kept alive by the tasks still
// queued, which find it stopped and leave at once.
//
// No task ever waits: a task is handed to the pool only when its picture
// may be painted at once (in painting order, and no more pictures out at
// once than the workers and as many again waiting to be laid), and the
// owner hands out the next ones as it lays pictures. A worker is thus never
// held by a redraw whose owner is busy elsewhere (with another list's
// redraw, say), and memory stays bounded.
struct TLayersRedrawThread::TState {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> stop{false};
    bool stopped = false;  // under mutex: no task is handed out after this
    int running = 0;       // tasks handed to the pool and not ended
    std::size_t nextPicture = 0;  // the next picture to hand out
    std::size_t out = 0;          // handed out and not laid yet
    std::size_t maxOut = 0;
    std::vector<char> done;
    std::vector<TLayerRedrawThread*> items;
    QSize size;
    TDrawContextMaker maker;
    std::function<void()> ready;
};

namespace {

using TSharedState = std::shared_ptr<TLayersRedrawThread::TState>;

void PaintOne(const TSharedState& s, std::size_t i);

// Hands out the pictures that may be painted now. Called with the mutex
// held.
void HandOut(const TSharedState& s) {
    while (!s->stopped && s->nextPicture < s->items.size() && s->out < s->maxOut) {
        const std::size_t i = s->nextPicture++;
        ++s->out;
        ++s->running;
        TRedrawPool::Instance().Submit([s, i] { PaintOne(s, i); });
    }
}

void PaintOne(const TSharedState& s, std::size_t i) {
    // Run raises nothing: a failure ends the picture, which is done.
    if (!s->stop) s->items[i]->Run(s->size, s->maker, s->stop);
    {
        std::lock_guard lock(s->mutex);
        s->done[i] = 1;
    }
    try {
        if (s->ready && !s->stop) s->ready();
    } catch (...) {
        // The news is lost; the picture is laid when the owner next waits
        // for the redraw (a query, a direct draw, the next change).
    }
    {
        std::lock_guard lock(s->mutex);
        --s->running;
    }
    s->changed.notify_all();
}

}  // namespace

TLayersRedrawThread::TLayersRedrawThread(std::vector<TLayer*> layers, QSize size, TDrawContextMaker maker,
                                         std::function<void()> ready)
    : layers_(layers), state_(std::make_shared<TState>()) {
    // Consecutive layers share a picture, as many pictures as workers, each
    // with about as much work: every picture costs a clearing and a laying
    // over the part it paints, which one thread drawing everything never
    // pays.
    const std::size_t workers = std::max(2u, std::thread::hardware_concurrency());
    const auto cost = [](const TLayer* l) { return static_cast<double>(RedrawWork(*l)); };
    double total = 0;
    for (TLayer* l : layers) total += cost(l);
    const double share = total / static_cast<double>(workers);
    std::vector<TLayer*> run;
    double inRun = 0;
    for (TLayer* l : layers) {
        run.push_back(l);
        inRun += cost(l);
        if (inRun >= share) {
            pictures_.emplace_back(std::move(run));
            run.clear();
            inRun = 0;
        }
    }
    if (!run.empty()) pictures_.emplace_back(std::move(run));
    for (TLayerRedrawThread& p : pictures_) state_->items.push_back(&p);
    state_->done.assign(pictures_.size(), 0);
    state_->size = size;
    state_->maker = std::move(maker);
    state_->ready = std::move(ready);
    state_->maxOut = 2 * std::max(2u, std::thread::hardware_concurrency());
    std::lock_guard lock(state_->mutex);
    HandOut(state_);
}

TLayersRedrawThread::~TLayersRedrawThread() {
    Stop();
    Wait();
    for (std::size_t i = next_; i < pictures_.size(); ++i) pictures_[i].ReleasePicture();
}

void TLayersRedrawThread::Stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopped = true;
        state_->stop = true;
    }
    state_->changed.notify_all();
}

void TLayersRedrawThread::Wait() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->running == 0; });
}

QString TLayersRedrawThread::Error() const {
    for (const TLayerRedrawThread& p : pictures_)
        if (!p.Error().isEmpty()) return p.Error();
    return {};
}

void TLayersRedrawThread::LayOne(QPainter& target, std::size_t i) {
    const TLayerPicture& p = pictures_[i].Picture();
    if (!p.Painted.isEmpty()) {
        target.save();
        target.setCompositionMode(QPainter::CompositionMode_SourceOver);
        target.resetTransform();
        target.setClipping(false);
        target.drawImage(p.Painted.topLeft(), p.Image, p.Painted);
        target.restore();
    }
    pictures_[i].ReleasePicture();
    std::lock_guard lock(state_->mutex);
    --state_->out;
    HandOut(state_);
}

bool TLayersRedrawThread::ComposeReady(QPainter& target) {
    for (;;) {
        {
            std::lock_guard lock(state_->mutex);
            if (next_ >= pictures_.size() || !state_->done[next_]) break;
        }
        LayOne(target, next_++);
    }
    return Composed();
}

void TLayersRedrawThread::ComposeAll(QPainter& target) {
    while (next_ < pictures_.size()) {
        {
            std::unique_lock lock(state_->mutex);
            state_->changed.wait(lock, [this] { return state_->done[next_] != 0; });
        }
        LayOne(target, next_++);
    }
}
