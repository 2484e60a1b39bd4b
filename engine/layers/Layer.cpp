#include "engine/layers/Layer.h"

#include <QPainter>

#include <algorithm>
#include <cassert>
#include <chrono>

#include <QFile>
#include <QFileInfo>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/layers/Layers.h"
#include "engine/layers/RedrawThreads.h"
#include "engine/objects/DrawContext.h"
#include "engine/layers/LayerPainter.h"

namespace {

// An object's key in the Id index: its Id without blanks at the ends.
QStringView Key(const QString& id) { return QStringView(id).trimmed(); }
QStringView Key(const TVisualObject* o) { return Key(o->Id()); }

std::size_t KeyHash(QStringView key) { return qHash(key, 0x9e3779b9u); }

void EraseOne(std::vector<TVisualObject*>& v, const TVisualObject* o) {
    const auto it = std::find(v.begin(), v.end(), o);
    if (it != v.end()) v.erase(it);
}

[[noreturn]] void IndexError(int index) {
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

}  // namespace

TLayer::TLayer(TLayerHost* owner)
    : owner_(owner), defaults_(std::make_unique<TThemeClass>()), selectionHilite_(std::make_unique<TThemeClass>()) {
    TThemeClass& h = *selectionHilite_;
    h.BeginUpdate();
    h.SetPointStyle(psPoint);
    h.SetLineColor(0x800080);
    h.SetLineStyle(lsDot);
    h.SetLineWidth(1);
    h.SetFillColor(0xFFFF);
    h.SetFillStyle(fsSolid);
    h.SetFillTexture(QImage());
    h.EndUpdate();
    // Selected objects draw in the highlight (and new objects take the
    // defaults): a threaded redraw must not read them while they change.
    defaults_->OnChanging = [this](TThemeClass&) { LayerChanging(); };
    selectionHilite_->OnChanging = [this](TThemeClass&) { LayerChanging(); };
}

TLayer::~TLayer() {
    LayerChanging();
    destroying_ = true;
    if (active_) InternalClose();
    links_.DisconnectAll();
    FreeObjects();
    ReleaseLock();
    active_ = fileCreated_ = false;
}

// ---------------------------------------------------------------- properties

QString TLayer::FileName() const { return JoinPath(databaseName_, layerName_); }

QString TLayer::ResolvedFileName() const {
    return ResolvePath(FileName(), owner_ != nullptr ? owner_->ReferringFileName() : QString());
}

QString TLayer::LockFileName() const { return ChangeFileExt(ResolvedFileName(), QStringLiteral(".lck")); }

void TLayer::SetCaption(const QString& v) {
    caption_ = v;
    Changed();
}

void TLayer::SetVisible(bool v) {
    visible_.Set(*this, v);
    Changed();
}

void TLayer::SetLegendVisible(bool v) {
    legendVisible_ = v;
    Changed();
}

void TLayer::SetFrozen(bool v) {
    frozen_ = v;
    if (v) readOnly_ = true;
}

void TLayer::SetReadOnly(bool v) {
    if (!frozen_) readOnly_ = v;
}

void TLayer::SetActive(bool v) {
    if (v == active_) return;
    // Active follows what Open or Close achieved: a layer whose file cannot
    // be read stays inactive.
    if (v)
        Open();
    else
        Close();
}

void TLayer::SetStateValue(TLayerState value) {
    if (value == state_) return;
    if (value == lsEdit) {
        if (!readOnly_) {
            const QString lock = LockFileName();
            if (CreateExclusiveFile(lock)) {
                holdsLock_ = true;
                lockPath_ = lock;
                state_.Set(*this, lsEdit);
            }
        }
    } else {
        state_.Set(*this, lsBrowse);
        ReleaseLock();
    }
    RequestRedraw();
}

void TLayer::ReleaseLock() {
    if (!holdsLock_) return;
    QFile::remove(lockPath_);
    holdsLock_ = false;
    lockPath_.clear();
}

// ---------------------------------------------------------------- lists

TVisualObject* TLayer::GetObject(int index) const {
    if (index < 0 || index >= GetObjectCount()) IndexError(index);
    return objects_[static_cast<std::size_t>(index)].get();
}

TVisualObject* TLayer::GetSelected(int index) const {
    if (index < 0 || index >= GetSelectedCount()) IndexError(index);
    return selection_[static_cast<std::size_t>(index)];
}

bool TLayer::Holds(const TVisualObject* o) const {
    return o != nullptr && o->Parent() == this && !deletedSet_.contains(o);
}

// A new object has no owner yet.
bool TLayer::Refuses(TVisualObject* o) const { return o == nullptr || o->Parent() != nullptr; }

std::size_t TLayer::Find(const TVisualObject* o) const {
    const auto it = std::find_if(objects_.begin(), objects_.end(), [o](const auto& p) { return p.get() == o; });
    return static_cast<std::size_t>(it - objects_.begin());
}

void TLayer::BeginBuffer() {
    if (originalValid_) return;
    original_ = GetObjects().ToVector();
    originalValid_ = true;
}

void TLayer::EndBuffer() {
    inserted_.clear();
    insertedSet_.clear();
    deleted_.clear();
    deletedSet_.clear();
    newDeletedSet_.clear();
    original_.clear();
    original_.shrink_to_fit();
    originalValid_ = false;
}

void TLayer::TakeIn(TVisualObject* o) {
    o->SetParent(this);
    inserted_.push_back(o);
    insertedSet_.insert(o);
}

void TLayer::PutAside(std::size_t i) {
    ++revision_;
    std::unique_ptr<TVisualObject> owned = std::move(objects_[i]);
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(i));
    TVisualObject* o = owned.get();
    Forget(o);
    if (insertedSet_.erase(o) > 0) {
        EraseOne(inserted_, o);
        newDeletedSet_.insert(o);
    }
    deleted_.push_back(std::move(owned));
    deletedSet_.insert(o);
    IndexRemove(o, o->Id());
    boundsValid_ = false;
}

void TLayer::Forget(TVisualObject* o) {
    if (selectedSet_.erase(o) > 0) EraseOne(selection_, o);
    if (current_ == o) current_ = nullptr;
}

void TLayer::FreeObjects() {
    LayerChanging();
    ++revision_;
    // Out of every list first, then freed.
    std::vector<std::unique_ptr<TVisualObject>> all = std::move(objects_);
    objects_.clear();
    for (auto& o : deleted_) all.push_back(std::move(o));
    EndBuffer();
    selection_.clear();
    selectedSet_.clear();
    current_ = nullptr;
    all.clear();
    idSlots_.clear();
    idCount_ = 0;
    indexValid_ = true;
    bounds_ = {};
    boundsValid_ = true;
}

int TLayer::TakeAt(std::size_t index, std::unique_ptr<TVisualObject> owned) {
    LayerChanging();
    BeginBuffer();
    TVisualObject* o = owned.get();
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(owned));
    TakeIn(o);
    if (index + 1 == objects_.size()) {
        IndexAdd(o);
    } else if (indexValid_) {
        if (IndexFind(Key(o), nullptr) == nullptr)
            IndexAdd(o);
        else
            indexValid_ = false;  // its place among equal keys: worked out again
    }
    Extend(o);
    return static_cast<int>(index);
}

int TLayer::Add(std::unique_ptr<TVisualObject> o) {
    ++revision_;
    if (state_ != lsEdit || Refuses(o.get())) return -1;
    return TakeAt(objects_.size(), std::move(o));
}

int TLayer::Insert(int index, std::unique_ptr<TVisualObject> o) {
    ++revision_;
    if (state_ != lsEdit || Refuses(o.get())) return -1;
    if (index < 0 || index > GetObjectCount()) IndexError(index);
    return TakeAt(static_cast<std::size_t>(index), std::move(o));
}

int TLayer::Restore(TVisualObject* o) {
    LayerChanging();
    if (state_ != lsEdit || o == nullptr || !deletedSet_.contains(o)) return -1;
    ++revision_;
    const auto it = std::find_if(deleted_.begin(), deleted_.end(), [o](const auto& p) { return p.get() == o; });
    objects_.push_back(std::move(*it));
    deleted_.erase(it);
    deletedSet_.erase(o);
    // Added in this edit, removed, and back: still an addition.
    if (newDeletedSet_.erase(o) > 0) {
        inserted_.push_back(o);
        insertedSet_.insert(o);
    }
    IndexAdd(o);
    Extend(o);
    return GetObjectCount() - 1;
}

std::unique_ptr<TVisualObject> TLayer::Withdraw(TVisualObject* o) {
    LayerChanging();
    if (!Holds(o) || !insertedSet_.contains(o)) return nullptr;
    const std::size_t i = Find(o);
    if (i == objects_.size()) return nullptr;
    ++revision_;
    std::unique_ptr<TVisualObject> owned = std::move(objects_[i]);
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(i));
    Forget(o);
    insertedSet_.erase(o);
    EraseOne(inserted_, o);
    IndexRemove(o, o->Id());
    boundsValid_ = false;
    o->SetParent(nullptr);
    return owned;
}

void TLayer::Delete(int index) {
    LayerChanging();
    if (state_ != lsEdit) return;
    if (index < 0 || index >= GetObjectCount()) IndexError(index);
    BeginBuffer();
    PutAside(static_cast<std::size_t>(index));
}

int TLayer::Remove(TVisualObject* o) {
    LayerChanging();
    if (state_ != lsEdit) return -1;
    const int i = IndexOf(o);
    if (i < 0) return -1;
    BeginBuffer();
    PutAside(static_cast<std::size_t>(i));
    return i;
}

void TLayer::Exchange(int i, int j) {
    LayerChanging();
    ++revision_;
    if (state_ != lsEdit) return;
    if (i < 0 || i >= GetObjectCount()) IndexError(i);
    if (j < 0 || j >= GetObjectCount()) IndexError(j);
    BeginBuffer();
    std::swap(objects_[static_cast<std::size_t>(i)], objects_[static_cast<std::size_t>(j)]);
    if (indexValid_ && (IndexHasOther(objects_[static_cast<std::size_t>(i)].get()) ||
                        IndexHasOther(objects_[static_cast<std::size_t>(j)].get())))
        indexValid_ = false;
}

TVisualObject* TLayer::First() const { return objects_.empty() ? nullptr : objects_.front().get(); }
TVisualObject* TLayer::Last() const { return objects_.empty() ? nullptr : objects_.back().get(); }

int TLayer::IndexOf(const TVisualObject* o) const {
    if (!Holds(o)) return -1;
    const std::size_t i = Find(o);
    return i == objects_.size() ? -1 : static_cast<int>(i);
}

void TLayer::Clear() {
    LayerChanging();
    ++revision_;
    if (state_ != lsEdit) return;
    BeginBuffer();
    for (auto& owned : objects_) {
        TVisualObject* o = owned.get();
        if (insertedSet_.contains(o)) newDeletedSet_.insert(o);
        deletedSet_.insert(o);
        deleted_.push_back(std::move(owned));
    }
    objects_.clear();
    inserted_.clear();
    insertedSet_.clear();
    selection_.clear();
    selectedSet_.clear();
    current_ = nullptr;
    idSlots_.clear();
    idCount_ = 0;
    indexValid_ = true;
    bounds_ = {};
    boundsValid_ = true;
}

// ---------------------------------------------------------------- selection

int TLayer::SelectionAdd(TVisualObject* o) {
    if (!Holds(o)) return -1;
    if (selectedSet_.contains(o)) return SelectionIndexOf(o);
    selection_.push_back(o);
    selectedSet_.insert(o);
    return GetSelectedCount() - 1;
}

void TLayer::SelectionInsert(int index, TVisualObject* o) {
    if (!Holds(o) || selectedSet_.contains(o)) return;
    if (index < 0 || index > GetSelectedCount()) IndexError(index);
    selection_.insert(selection_.begin() + index, o);
    selectedSet_.insert(o);
}

void TLayer::SelectionDelete(int index) {
    if (index < 0 || index >= GetSelectedCount()) IndexError(index);
    selectedSet_.erase(selection_[static_cast<std::size_t>(index)]);
    selection_.erase(selection_.begin() + index);
}

int TLayer::SelectionRemove(TVisualObject* o) {
    const int i = SelectionIndexOf(o);
    if (i >= 0) SelectionDelete(i);
    return i;
}

void TLayer::SelectionExchange(int i, int j) {
    if (i < 0 || i >= GetSelectedCount()) IndexError(i);
    if (j < 0 || j >= GetSelectedCount()) IndexError(j);
    std::swap(selection_[static_cast<std::size_t>(i)], selection_[static_cast<std::size_t>(j)]);
}

TVisualObject* TLayer::SelectionFirst() const { return selection_.empty() ? nullptr : selection_.front(); }
TVisualObject* TLayer::SelectionLast() const { return selection_.empty() ? nullptr : selection_.back(); }

int TLayer::SelectionIndexOf(const TVisualObject* o) const {
    if (!selectedSet_.contains(o)) return -1;
    return static_cast<int>(std::find(selection_.begin(), selection_.end(), o) - selection_.begin());
}

void TLayer::SelectionClear() {
    selection_.clear();
    selectedSet_.clear();
}

// ---------------------------------------------------------------- lookups

void TLayer::IndexPut(TVisualObject* o, std::size_t hash) const {
    const std::size_t mask = idSlots_.size() - 1;
    std::size_t i = hash & mask;
    while (idSlots_[i].Object != nullptr) i = (i + 1) & mask;
    idSlots_[i] = {hash, o};
    ++idCount_;
}

void TLayer::IndexAdd(TVisualObject* o) {
    if (!indexValid_) return;
    if (2 * (idCount_ + 1) > idSlots_.size()) {
        // Twice as many slots. Each run is walked from its start, so that
        // the objects of one Id keep their order.
        std::vector<TIdSlot> old(std::max<std::size_t>(16, 2 * idSlots_.size()));
        old.swap(idSlots_);
        idCount_ = 0;
        std::size_t first = 0;
        while (first < old.size() && old[first].Object != nullptr) ++first;
        for (std::size_t k = 0; k < old.size(); ++k) {
            const TIdSlot& slot = old[(first + k) % old.size()];
            if (slot.Object != nullptr) IndexPut(slot.Object, slot.Hash);
        }
    }
    IndexPut(o, KeyHash(Key(o)));
}

void TLayer::IndexRemove(TVisualObject* o, const QString& id) {
    if (!indexValid_ || idSlots_.empty()) return;
    const std::size_t mask = idSlots_.size() - 1;
    std::size_t i = KeyHash(Key(id)) & mask;
    for (; idSlots_[i].Object != o; i = (i + 1) & mask)
        if (idSlots_[i].Object == nullptr) return;
    // The slots after it that may take its place move back one by one.
    for (std::size_t j = (i + 1) & mask; idSlots_[j].Object != nullptr; j = (j + 1) & mask) {
        const std::size_t home = idSlots_[j].Hash & mask;
        const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (stays) continue;
        idSlots_[i] = idSlots_[j];
        i = j;
    }
    idSlots_[i] = {};
    --idCount_;
}

void TLayer::EnsureIndex() const {
    if (indexValid_) return;
    std::size_t size = 16;
    while (size < 2 * objects_.size()) size *= 2;
    idSlots_.assign(size, TIdSlot{});
    idCount_ = 0;
    for (const auto& o : objects_) IndexPut(o.get(), KeyHash(Key(o.get())));
    indexValid_ = true;
}

TVisualObject* TLayer::IndexFind(QStringView key, const QString* exact) const {
    EnsureIndex();
    if (idSlots_.empty()) return nullptr;
    const std::size_t hash = KeyHash(key);
    const std::size_t mask = idSlots_.size() - 1;
    for (std::size_t i = hash & mask; idSlots_[i].Object != nullptr; i = (i + 1) & mask) {
        TVisualObject* o = idSlots_[i].Object;
        if (idSlots_[i].Hash == hash && Key(o) == key && (exact == nullptr || o->Id() == *exact)) return o;
    }
    return nullptr;
}

bool TLayer::IndexHasOther(const TVisualObject* o) const {
    if (idSlots_.empty()) return false;
    const QStringView key = Key(o);
    const std::size_t hash = KeyHash(key);
    const std::size_t mask = idSlots_.size() - 1;
    for (std::size_t i = hash & mask; idSlots_[i].Object != nullptr; i = (i + 1) & mask) {
        const TVisualObject* other = idSlots_[i].Object;
        if (other != o && idSlots_[i].Hash == hash && Key(other) == key) return true;
    }
    return false;
}

TVisualObject* TLayer::FindById(const QString& id) const { return IndexFind(Key(id), nullptr); }

TVisualObject* TLayer::FindObjectById(const QString& key) const {
    // Of the objects whose Id equals the key trimmed, the first whose Id
    // equals it as it is.
    TVisualObject* o = IndexFind(Key(key), &key);
    if (o == nullptr) IndexError(-1);
    return o;
}

void TLayer::ObjectIdChanged(TVisualObject& o, const QString& oldId) {
    if (!indexValid_ || !Holds(&o)) return;
    IndexRemove(&o, oldId);
    if (IndexFind(Key(&o), nullptr) == nullptr)
        IndexAdd(&o);
    else
        indexValid_ = false;
}

const TBounds& TLayer::Bounds() const {
    if (!boundsValid_) {
        bounds_ = ObjectsBounds(GetObjects());
        boundsValid_ = true;
    }
    return bounds_;
}

void TLayer::Extend(const TVisualObject* o) {
    if (!boundsValid_) return;
    if (objects_.size() == 1) bounds_ = o->GetBounds();
    else ExtendBounds(bounds_, o->GetBounds());
}

TBounds TLayer::SelectionBounds() const { return ObjectsBounds(selection_); }

std::vector<TVisualObject*> TLayer::ObjectsWithin(double x1, double y1, double x2, double y2) const {
    WaitDrawn();
    std::vector<TVisualObject*> out;
    for (TVisualObject* o : GetObjects())
        if (o->Enabled() && o->InRect(x1, y1, x2, y2)) out.push_back(o);
    return out;
}

std::vector<TVisualObject*> TLayer::ObjectsIntersecting(double x1, double y1, double x2, double y2) const {
    WaitDrawn();
    std::vector<TVisualObject*> out;
    for (TVisualObject* o : GetObjects())
        if (o->Enabled() && o->CrossesRect(x1, y1, x2, y2)) out.push_back(o);
    return out;
}

void TLayer::SelectWithin(double x1, double y1, double x2, double y2) {
    LayerChanging();
    if (!frozen_)
        for (TVisualObject* o : ObjectsWithin(x1, y1, x2, y2)) {
            o->SetSelected(true);
            SelectionAdd(o);
        }
    RequestRedraw();
}

void TLayer::SelectIntersecting(double x1, double y1, double x2, double y2) {
    LayerChanging();
    if (!frozen_)
        for (TVisualObject* o : ObjectsIntersecting(x1, y1, x2, y2)) {
            o->SetSelected(true);
            SelectionAdd(o);
        }
    RequestRedraw();
}

void TLayer::ClearSelection() {
    LayerChanging();
    const std::vector<TVisualObject*> old = selection_;
    SelectionClear();
    for (TVisualObject* o : old) o->SetSelected(false);
    RequestRedraw();
}

// ---------------------------------------------------------------- lifecycle

void TLayer::Open() {
    if (active_ || destroying_) return;
    DoBeforeOpen();
    InternalOpen();
    DoAfterOpen();
}

void TLayer::Close() {
    if (!active_ || destroying_) return;
    DoBeforeClose();
    InternalClose();
    DoAfterClose();
}

void TLayer::OpenEmpty() {
    if (active_ || fileCreated_ || destroying_) return;
    DoBeforeOpen();
    active_ = true;
    DoAfterOpen();
}

void TLayer::InternalOpen() {
    LayerChanging();
    try {
        ReadLayerFile(ResolvedFileName());
        active_ = true;
        fileCreated_ = true;
    } catch (const EKoviError& e) {
        // A coordinate block that cannot be read fails the layer as well.
        FreeObjects();
        DoError(ErrorMessage(e));
    }
}

void TLayer::CreateLayerFile() {
    if (fileCreated_ || active_) return;
    WriteLayerFile(ResolvedFileName());
    fileCreated_ = true;
}

void TLayer::InternalClose() {
    LayerChanging();
    if (HasPendingEdits() || originalValid_) InternalCancel();
    if (state_ == lsEdit) {
        state_.Set(*this, lsBrowse);
        ReleaseLock();
    }
    FreeObjects();
    active_ = false;
}

void TLayer::InternalPost() {
    LayerChanging();
    {
        TAtomicFile file(ResolvedFileName());
        WriteObjects(file.Stream());
        file.Sync();
        BeforeFileReplaced();
        file.Commit();
    }
    fileCreated_ = true;
    EndBuffer();  // frees the deleted objects
}

void TLayer::InternalCancel() {
    LayerChanging();
    ++revision_;
    if (!originalValid_) {
        EndBuffer();
        return;
    }
    // Every object the layer holds, by address; the list is put back in its
    // old order and what is left (added in this edit) is freed.
    std::unordered_map<const TVisualObject*, std::unique_ptr<TVisualObject>> pool;
    pool.reserve(objects_.size() + deleted_.size());
    for (auto& o : objects_) pool.emplace(o.get(), std::move(o));
    for (auto& o : deleted_) pool.emplace(o.get(), std::move(o));
    objects_.clear();
    deleted_.clear();
    objects_.reserve(original_.size());
    for (TVisualObject* o : original_) {
        const auto it = pool.find(o);
        if (it == pool.end()) continue;
        objects_.push_back(std::move(it->second));
        pool.erase(it);
    }
    for (const auto& [o, owned] : pool) {
        if (selectedSet_.erase(o) > 0) EraseOne(selection_, o);
        if (current_ == o) current_ = nullptr;
    }
    pool.clear();
    EndBuffer();
    indexValid_ = false;
    boundsValid_ = false;
}

// ---------------------------------------------------------------- drawing

TDrawContext* TLayer::DrawContext() const {
    // On this thread, not while a redraw thread draws through canvas_.
    WaitDrawn();
    if (canvas_ != nullptr) return canvas_;
    return owner_ != nullptr ? owner_->HostDrawContext() : nullptr;
}

void TLayer::Draw(TDrawContext* dc) {
    if (!InRedrawWorker()) {
        // Drawn here (saved as an image, printed) while a redraw thread
        // paints it, the two would share the layer's painter.
        WaitDrawn();
        assert(workerDraws_.load() == 0);
    }
    if (dc == nullptr) {
        drawing_ = false;
        return;
    }
    // Each layer starts from the painter as the caller gave it and leaves it
    // so: the pen and brush the objects leave behind stay inside the layer,
    // and a layer looks the same whichever layer was drawn before it (or
    // whether it is drawn alone into a picture of its own).
    QPainter& painter = dc->Painter();
    painter.save();
    struct TRestore {
        TLayer& l;
        TDrawContext* old;
        QPainter& painter;
        ~TRestore() {
            l.drawing_ = false;
            l.canvas_ = old;
            painter.restore();
        }
    } restore{*this, canvas_, painter};
    drawing_ = true;
    canvas_ = dc;
    const auto start = std::chrono::steady_clock::now();
    DrawObjects(*dc);
    lastDrawTime_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count(),
                        std::memory_order_relaxed);
}

void TLayer::Redraw() { Draw(DrawContext()); }

void TLayer::DrawObjects(TDrawContext& dc) {
    if (!visible_ || loading_) {
        if (TPaintedArea* area = dc.PaintedArea()) area->Know();  // nothing
        return;
    }
    if (!painter_) painter_ = std::make_unique<TLayerPainter>();
    painter_->Draw(GetObjects(), revision_, dc, visible_);
}

QPoint TLayer::WorldToScreen(double x, double y) const {
    const TDrawContext* dc = DrawContext();
    if (dc == nullptr) throw EEngineError(QStringLiteral("Invalid class typecast"));
    return dc->WorldToScreen(x, y);
}

QPointF TLayer::ScreenToWorld(int x, int y) const {
    const TDrawContext* dc = DrawContext();
    if (dc == nullptr) throw EEngineError(QStringLiteral("Invalid class typecast"));
    return {dc->ScreenToWorldX(x), dc->ScreenToWorldY(y)};
}

void TLayer::ObjectChanging(TVisualObject&) {
    LayerChanging();
    InvalidateBounds();
}

void TLayer::LayerChanging() {
    if (redrawList_ != nullptr && !InRedrawWorker()) redrawList_->WaitRedraw();
    assert(RedrawStopped() && "a redraw thread still draws a layer being changed");
}

bool TLayer::RedrawStopped() const { return InRedrawWorker() || workerDraws_.load() == 0; }

void TLayer::WaitDrawn() const {
    if (redrawList_ != nullptr && !InRedrawWorker()) redrawList_->FinishRedraw();
}

void TLayer::Flash(TVisualObject& object, int milliseconds) {
    if (owner_ != nullptr) owner_->FlashObject(*this, object, milliseconds);
}

void TLayer::RequestRedraw() {
    if (owner_ != nullptr) owner_->RedrawRequested();
}

// ---------------------------------------------------------------- notifications

void TLayer::Changed() {
    if (updateCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    links_.NotifyChange();
    if (OnChange) OnChange(*this);
}

void TLayer::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        Changed();
    }
}

void TLayer::DoBeforeOpen() {
    if (BeforeOpen) BeforeOpen(*this);
}
void TLayer::DoAfterOpen() {
    if (AfterOpen) AfterOpen(*this);
}
void TLayer::DoBeforeClose() {
    if (BeforeClose) BeforeClose(*this);
}
void TLayer::DoAfterClose() {
    if (AfterClose) AfterClose(*this);
}
void TLayer::DoProgress(int current, int total) {
    if (OnProgress) OnProgress(*this, current, total);
}
void TLayer::DoError(const QString& message) {
    if (OnError) OnError(*this, message);
    if (owner_ != nullptr) owner_->LayerOpenFailed(*this, message);
}
