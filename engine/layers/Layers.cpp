#include "engine/layers/Layers.h"

#include <algorithm>
#include <unordered_set>

#include <QCoreApplication>
#include <QObject>
#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/layers/RedrawThreads.h"
#include "engine/objects/DrawContext.h"

namespace {

struct TRegisteredLayer {
    QString Name;
    TLayerFactory Factory;
};

std::vector<TRegisteredLayer>& Registry() {
    static std::vector<TRegisteredLayer> reg{
        {QStringLiteral("TLayer"), [](TLayerHost* owner) { return std::make_unique<TLayer>(owner); }}};
    return reg;
}

QString RecordName(const QString& className) { return className.mid(1).toUpper(); }

// The smallest layer record: two marker lines of at least one character,
// three empty lines, the visibility byte, two symbology blocks and two flags.
constexpr std::int64_t kMinLayerRecordBytes = 3 + 4 + 6 + 1 + 2 * 43 + 2;

}  // namespace

void RegisterLayerClass(const QString& className, TLayerFactory factory) {
    for (TRegisteredLayer& c : Registry())
        if (c.Name.compare(className, Qt::CaseInsensitive) == 0) {
            c.Factory = std::move(factory);
            return;
        }
    Registry().push_back({className, std::move(factory)});
}

std::unique_ptr<TLayer> CreateLayerOfClass(QStringView className, TLayerHost* owner) {
    for (const TRegisteredLayer& c : Registry())
        if (c.Name.compare(className, Qt::CaseInsensitive) == 0) return c.Factory(owner);
    return nullptr;
}

// ---------------------------------------------------------------- TLayers

TLayers::TLayers(TLayerHost* drawing) : drawing_(drawing), notifier_(std::make_unique<QObject>()) {}

TLayers::~TLayers() {
    StopRedrawThreads(false);
    links_.DisconnectAll();
    for (TLayer* layer : list_)
        if (layer != nullptr) layer->listedIn_ = nullptr;
    list_.clear();
    // Free the owned layers last first, so that the first ones go last.
    while (!owned_.empty()) owned_.pop_back();
}

TLayer* TLayers::GetItem(int index) const {
    if (index < 0 || index >= GetCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return list_[static_cast<std::size_t>(index)];
}

int TLayers::Add(TLayer* layer) {
    Enlist(layer);
    WaitRedraw();
    list_.push_back(layer);
    Changed();
    return GetCount() - 1;
}

void TLayers::Insert(int index, TLayer* layer) {
    if (index < 0 || index > GetCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    Enlist(layer);
    WaitRedraw();
    list_.insert(list_.begin() + index, layer);
    Changed();
}

void TLayers::Delete(int index) {
    TLayer* layer = GetItem(index);
    WaitRedraw();
    list_.erase(list_.begin() + index);
    Unlist(layer);
    Changed();
}

void TLayers::Enlist(TLayer* layer) {
    if (layer == nullptr) return;
    if (layer->listedIn_ != nullptr && layer->listedIn_ != this)
        throw EListError(QStringLiteral("The layer \"%1\" is in another layer list").arg(layer->Caption()));
    layer->listedIn_ = this;
}

void TLayers::Unlist(TLayer* layer) {
    if (layer != nullptr && layer->listedIn_ == this && IndexOf(layer) < 0) layer->listedIn_ = nullptr;
}

int TLayers::IndexOf(const TLayer* layer) const {
    const auto it = std::find(list_.begin(), list_.end(), layer);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

int TLayers::IndexOfName(const QString& name) const {
    for (std::size_t i = 0; i < list_.size(); ++i)
        if (list_[i]->Caption() == name) return static_cast<int>(i);
    return -1;
}

TLayer* TLayers::GetLayerByName(const QString& name) const { return GetItem(IndexOfName(name)); }

TLayer* TLayers::FindLayer(const QString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? nullptr : list_[static_cast<std::size_t>(i)];
}

TLayer* TLayers::Adopt(std::unique_ptr<TLayer> layer) {
    TLayer* raw = layer.get();
    if (raw != nullptr && !Owns(raw)) owned_.push_back(std::move(layer));
    return raw;
}

int TLayers::Add(std::unique_ptr<TLayer> layer) { return Add(Adopt(std::move(layer))); }

bool TLayers::Owns(const TLayer* layer) const {
    return std::any_of(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == layer; });
}

void TLayers::FreeLayer(TLayer* layer) {
    WaitRedraw();
    const bool listed = std::find(list_.begin(), list_.end(), layer) != list_.end();
    list_.erase(std::remove(list_.begin(), list_.end(), layer), list_.end());
    Unlist(layer);
    const auto it = std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == layer; });
    if (it != owned_.end()) {
        std::unique_ptr<TLayer> gone = std::move(*it);
        owned_.erase(it);
    }
    if (listed) Changed();
}

void TLayers::Redraw(int first, int last) {
    StopRedrawThreads(false);  // this redraw takes its place
    if (drawing_ != nullptr && drawing_->SeparatedDrawThread() && StartRedrawThreads(first, last)) return;
    struct TDone {
        bool& flag;
        ~TDone() { flag = false; }
    } done{redrawing_};
    redrawing_ = true;
    for (int i = last; i >= first; --i) GetItem(i)->Redraw();
}

void TLayers::Draw(TDrawContext& dc, int first, int last) {
    FinishRedraw();
    struct TDone {
        bool& flag;
        ~TDone() { flag = false; }
    } done{redrawing_};
    redrawing_ = true;
    first = std::max(first, 0);
    last = std::min(last, GetCount() - 1);
    for (int i = last; i >= first; --i) list_[static_cast<std::size_t>(i)]->Draw(&dc);
}

// ---- redraw threads

bool TLayers::StartRedrawThreads(int first, int last) {
    std::vector<TLayer*> layers;
    std::unordered_set<TLayer*> seen;
    std::int64_t work = 0;
    for (int i = last; i >= first; --i) {
        TLayer* layer = GetItem(i);
        // A layer listed twice would be painted by two workers at once.
        if (!seen.insert(layer).second) return false;
        layers.push_back(layer);
        work += RedrawWork(*layer);
    }
    if (work < threadedMinimum_) return false;
    TDrawContextMaker maker = drawing_->LayerContextMaker();
    TDrawContext* target = drawing_->HostDrawContext();
    if (!maker || target == nullptr || target->Painter().device() == nullptr) return false;
    if (layers.empty()) return true;
    const QPaintDevice* device = target->Painter().device();
    const QSize size(device->width(), device->height());
    const std::uint64_t generation = ++generation_;
    QObject* notifier = notifier_.get();
    for (TLayer* layer : layers) layer->redrawList_ = this;
    redrawing_ = true;
    redraw_ = std::make_unique<TLayersRedrawThread>(std::move(layers), size, std::move(maker), [this, notifier, generation] {
        QMetaObject::invokeMethod(notifier, [this, generation] { PicturesReady(generation); }, Qt::QueuedConnection);
    });
    return true;
}

void TLayers::PicturesReady(std::uint64_t generation) {
    if (!redraw_ || generation != generation_) return;
    TDrawContext* target = drawing_->HostDrawContext();
    if (target == nullptr) {
        StopRedrawThreads(false);  // nowhere to lay it, now or later
        return;
    }
    const bool finished = redraw_->ComposeReady(target->Painter());
    const QString error = finished ? EndRedrawThreads() : QString();
    drawing_->LayersComposed(finished);
    if (!error.isEmpty()) drawing_->RedrawFailed(error);
}

void TLayers::FinishRedraw() {
    if (!redraw_) return;
    TDrawContext* target = drawing_->HostDrawContext();
    if (target == nullptr) {
        StopRedrawThreads(false);
        return;
    }
    redraw_->ComposeAll(target->Painter());
    const QString error = EndRedrawThreads();
    drawing_->LayersComposed(true);
    if (!error.isEmpty()) drawing_->RedrawFailed(error);
}

void TLayers::WaitRedraw() { StopRedrawThreads(true); }

void TLayers::StopRedrawThreads(bool askAgain) {
    if (!redraw_) return;
    redraw_->Stop();
    redraw_->Wait();
    EndRedrawThreads();
    // What was not laid yet is missing from the view's picture.
    if (askAgain) drawing_->RedrawRequested();
}

QString TLayers::EndRedrawThreads() {
    std::unique_ptr<TLayersRedrawThread> ending = std::move(redraw_);
    ++generation_;
    for (TLayer* layer : ending->Layers()) layer->redrawList_ = nullptr;
    redrawing_ = false;
    return ending->Error();
}

void TLayers::SaveToStream(TStream& s) const {
    const QString marker = RecordName(ClassName());
    StreamWriteLine(s, marker);
    WriteData(s);
    StreamWriteLine(s, QString(u'E' + marker));
}

void TLayers::LoadFromStream(TStream& s) {
    const QString marker = StreamReadRequiredLine(s);
    ReadData(s);
    StreamExpectLine(s, QString(u'E' + marker));
}

void TLayers::WriteData(TStream& s) const {
    WriteInt32(s, GetCount());
    for (const TLayer* layer : list_) {
        const QString name = RecordName(layer->ClassName());
        StreamWriteLine(s, name);
        layer->WriteHeader(s);
        StreamWriteLine(s, QString(u'E' + name));
    }
}

void TLayers::ReadData(TStream& s) {
    WaitRedraw();
    const std::int32_t count = ReadInt32(s);
    CheckCount(s, count, kMinLayerRecordBytes, "layer");
    bool added = false;
    struct TDone {
        TLayers& l;
        bool& added;
        ~TDone() {
            if (added) l.Changed();
        }
    } done{*this, added};
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t start = s.Position();
        const QString name = StreamReadRequiredLine(s);
        std::unique_ptr<TLayer> layer = CreateLayerOfClass(QString(u'T' + name), drawing_);
        if (!layer) {
            s.Seek(start);
            throw EFormatError(QStringLiteral("Unknown layer class 'T%1' at offset %2").arg(name).arg(start));
        }
        layer->ReadHeader(s);
        StreamExpectLine(s, QString(u'E' + name));
        DoProgress(i + 1, count);
        bool skip = false;
        DoBeforeAdd(*layer, skip);
        if (skip) {
            Adopt(std::move(layer));
            continue;
        }
        try {
            layer->Open();
        } catch (const EKoviError&) {
            continue;  // the layer is freed; the record adds nothing
        }
        DoAfterAdd(*layer);
        TLayer* raw = Adopt(std::move(layer));
        Enlist(raw);
        WaitRedraw();  // one the handlers started
        list_.push_back(raw);
        added = true;
    }
}

void TLayers::Changed() {
    links_.NotifyChange();
    if (OnChange) OnChange(*this);
}

void TLayers::DoBeforeAdd(TLayer& layer, bool& skip) {
    if (OnBeforeAdd) OnBeforeAdd(*this, layer, skip);
}
void TLayers::DoAfterAdd(TLayer& layer) {
    if (OnAfterAdd) OnAfterAdd(*this, layer);
}
void TLayers::DoProgress(int current, int total) {
    if (OnProgress) OnProgress(*this, current, total);
}
