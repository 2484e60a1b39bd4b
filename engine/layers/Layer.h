#pragma once
// A layer of the map: an ordered list of map objects kept in a layer file
// (".cam"), drawn as a unit, with its default symbology, selection
// highlight, selection and an edit state guarded by a lock file (".lck").
//
// Ownership
// - The layer owns every object of its object list and of its deleted
//   list (objects removed during an edit, alive until the edit is posted
//   or cancelled), each in a std::unique_ptr. The inserted list, the
//   selection and the current object only refer to objects of the object
//   list.
// - Objects come in through Add and Insert, which take a std::unique_ptr:
//   an object the layer refuses is freed with it. An object removed in
//   this edit goes back with Restore. An object added and then removed
//   again in one edit is freed once, at post or cancel. Remove of an
//   object the layer does not hold does nothing.
// - Objects leave the selection (and stop being the current object) when
//   they leave the object list, so the selection never refers to an object
//   that is not drawn by the layer or that has been freed.
//
// Edit state
// - Edit takes the lock file with an exclusive create; when another
//   process (or layer) holds it, or the layer is ReadOnly, the layer stays
//   in lsBrowse. The layer deletes only a lock it created itself: on
//   EndEdit, on Close and on destruction.
// - InternalPost writes the layer file atomically (beside it, then renamed
//   over it); a failed write raises and keeps both the old file and the
//   pending edits. InternalCancel puts the object list back as it was when
//   the edit began (order included) and frees the objects added since.
//
// Loading: Open reads the layer file. A missing or damaged file leaves the
// layer empty and inactive; the failure goes to OnError and to the host's
// LayerOpenFailed. Listeners get one OnChange per load, not one per
// property written.
//
// Drawing: Draw paints on the calling thread onto a TDrawContext: the
// objects that cross the context's window, in list order, culled through
// a spatial index over the layer (TLayerPainter). The layer list may paint
// layers on its redraw threads (see RedrawThreads.h); every change to the
// layer or its objects then first stops that redraw and waits for it (the
// values drawing reads are TDrawn, the lists change after LayerChanging,
// the objects call ObjectChanging), and the area queries and a Draw on
// another thread wait for it to end (WaitDrawn). A layer is in one layer
// list at most.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QHash>
#include <QPoint>
#include <QPointF>
#include <QString>

#include "core/Codes.h"
#include "engine/layers/EntityType.h"
#include "engine/layers/LayerHost.h"
#include "engine/layers/RedrawGuard.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/VisualObject.h"
#include "engine/symbology/ChangeLink.h"
#include "engine/symbology/ThemeClass.h"

class TLayerPainter;
class TLayers;
class TStream;

enum TLayerState : std::int32_t { lsBrowse, lsEdit };

class TLayer : public TObjectOwner, protected TRedrawGuard {
public:
    using TNotifyEvent = std::function<void(TLayer& sender)>;
    using TProgressEvent = std::function<void(TLayer& sender, int current, int total)>;
    using TErrorEvent = std::function<void(TLayer& sender, const QString& message)>;

    explicit TLayer(TLayerHost* owner = nullptr);
    ~TLayer() override;
    TLayer(const TLayer&) = delete;
    TLayer& operator=(const TLayer&) = delete;

    // The class name ("TLayer"); its record name in a layers section is
    // this without the "T", upper-cased.
    virtual QString ClassName() const { return QStringLiteral("TLayer"); }
    // The owning view; refers only.
    TLayerHost* Owner() const { return owner_; }
    void SetOwner(TLayerHost* owner) { owner_ = owner; }

    // ---- properties
    const QString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& v) { databaseName_ = v; }
    const QString& LayerName() const { return layerName_; }
    void SetLayerName(const QString& v) { layerName_ = v; }
    // DatabaseName joined with LayerName, as stored.
    QString FileName() const;
    // The layer file on this machine (stored separators and case resolved,
    // see ResolvePath), and its lock file beside it.
    QString ResolvedFileName() const;
    QString LockFileName() const;

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool LegendVisible() const { return legendVisible_; }
    void SetLegendVisible(bool v);
    TCoordinateUnit CoordinateUnits() const { return coordinateUnits_; }
    void SetCoordinateUnits(TCoordinateUnit v) { coordinateUnits_ = v; }
    // The default symbology, applied to every object read from the layer
    // file; owned. A change to it or to SelectionHilite first stops a
    // threaded redraw that paints the layer.
    TThemeClass* Defaults() const { return defaults_.get(); }
    // The style of selected objects; owned.
    TThemeClass* SelectionHilite() const override { return selectionHilite_.get(); }
    bool Frozen() const { return frozen_; }
    // True also makes the layer ReadOnly.
    void SetFrozen(bool v);
    bool ReadOnly() const { return readOnly_; }
    // Ignored while Frozen.
    void SetReadOnly(bool v);
    bool Active() const { return active_; }
    void SetActive(bool v);
    // The layer file has been written or read by this layer.
    bool FileCreated() const { return fileCreated_; }
    TLayerState State() const { return GetState(); }
    void SetState(TLayerState v) { SetStateValue(v); }
    TEntityType EditEntity() const { return editEntity_; }
    void SetEditEntity(TEntityType v) { editEntity_ = v; }
    // Free for the user of the layer; the layer list box marks its
    // selected row with 1.
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t v) { tag_ = v; }
    // Whether this layer holds its lock file.
    bool HoldsLock() const { return holdsLock_; }
    // True while the layer draws.
    bool Drawing() const { return drawing_; }
    // How long the layer's last Draw took, in nanoseconds (0 before the
    // first); the redraw threads share their work out by it.
    std::int64_t LastDrawTime() const { return lastDrawTime_.load(std::memory_order_relaxed); }

    // ---- lists
    TVisualObject* GetObject(int index) const;
    int GetObjectCount() const { return static_cast<int>(objects_.size()); }
    TVisualObject* GetSelected(int index) const;
    int GetSelectedCount() const { return static_cast<int>(selection_.size()); }
    TObjectRange GetObjects() const { return TObjectRange(objects_); }
    const std::vector<TVisualObject*>& GetSelection() const { return selection_; }
    const std::vector<TVisualObject*>& GetInserted() const { return inserted_; }
    TObjectRange GetDeleted() const { return TObjectRange(deleted_); }
    // The object that the view's tools are creating or editing; refers
    // only. It may be an object outside the layer (a tool's guide shape),
    // which its creator frees and clears here. It becomes nullptr when the
    // object leaves the layer's list or is freed by the layer.
    TVisualObject* GetCurrentObject() const { return current_; }
    void SetCurrentObject(TVisualObject* object) { current_ = object; }
    virtual bool HasPendingEdits() const { return !inserted_.empty() || !deleted_.empty(); }

    // ---- extents (kept, not scanned on each call; 0 for no objects)
    double GetLowerX() const { return Bounds().LowerX; }
    double GetLowerY() const { return Bounds().LowerY; }
    double GetLowerZ() const { return Bounds().LowerZ; }
    double GetUpperX() const { return Bounds().UpperX; }
    double GetUpperY() const { return Bounds().UpperY; }
    double GetUpperZ() const { return Bounds().UpperZ; }
    const TBounds& Bounds() const;
    // Tells the layer that objects of its list changed their geometry
    // (moved, rotated, scaled, vertices edited), so that its kept extent is
    // worked out again.
    void InvalidateBounds() {
        boundsValid_ = false;
        ++revision_;
    }
    // Grows whenever the object list, its order or (through
    // InvalidateBounds) its objects' geometry changes; spatial indexes over
    // the layer (the drawing's own included) and the pixels kept for the
    // next redraw are worked out again when it differs from the one they
    // were made at.
    std::uint64_t Revision() const { return revision_; }
    TBounds SelectionBounds() const;
    double GetSelectionLowerX() const { return SelectionBounds().LowerX; }
    double GetSelectionLowerY() const { return SelectionBounds().LowerY; }
    double GetSelectionLowerZ() const { return SelectionBounds().LowerZ; }
    double GetSelectionUpperX() const { return SelectionBounds().UpperX; }
    double GetSelectionUpperY() const { return SelectionBounds().UpperY; }
    double GetSelectionUpperZ() const { return SelectionBounds().UpperZ; }

    // ---- object list (the edit buffer): only in lsEdit, else nothing (-1)
    // Takes the object; its index, or -1 when refused (not in lsEdit, no
    // object, or one that already has an owner), and then it is freed.
    virtual int Add(std::unique_ptr<TVisualObject> object);
    // The same at an index (0..count); raises EListError beyond that.
    virtual int Insert(int index, std::unique_ptr<TVisualObject> object);
    // Puts an object removed in this edit (still in the deleted list) back
    // at the end of the list; its index, or -1 when the layer holds no such
    // object or is not in lsEdit.
    virtual int Restore(TVisualObject* object);
    virtual void Delete(int index);
    // Former index; -1 when the layer did not hold the object.
    virtual int Remove(TVisualObject* object);
    virtual void Exchange(int index1, int index2);
    TVisualObject* First() const;
    TVisualObject* Last() const;
    int IndexOf(const TVisualObject* object) const;
    virtual void Clear();

    // ---- selection: any state; only objects of the object list, each once
    int SelectionAdd(TVisualObject* object);
    void SelectionInsert(int index, TVisualObject* object);
    void SelectionDelete(int index);
    int SelectionRemove(TVisualObject* object);
    void SelectionExchange(int index1, int index2);
    TVisualObject* SelectionFirst() const;
    TVisualObject* SelectionLast() const;
    int SelectionIndexOf(const TVisualObject* object) const;
    // Empties the selection; the objects keep their Selected flag.
    void SelectionClear();

    // ---- lookups and area queries
    // The first object, in list order, whose trimmed Id equals the trimmed
    // key; nullptr when none. Kept in a hash index.
    TVisualObject* FindObject(const QString& key) const { return FindById(key); }
    // The first object whose Id equals the key exactly; raises EListError
    // when none has it.
    TVisualObject* FindObjectById(const QString& key) const;
    // Enabled objects wholly inside / touching the rectangle (lower X,
    // lower Y, upper X, upper Y), in list order.
    std::vector<TVisualObject*> ObjectsWithin(double x1, double y1, double x2, double y2) const;
    std::vector<TVisualObject*> ObjectsIntersecting(double x1, double y1, double x2, double y2) const;
    // Unless Frozen, marks those objects Selected and adds them to the
    // selection; then asks the host to redraw.
    void SelectWithin(double x1, double y1, double x2, double y2);
    void SelectIntersecting(double x1, double y1, double x2, double y2);
    // Unmarks and empties the selection; asks the host to redraw.
    void ClearSelection();

    // ---- state and lifecycle
    void Edit() { SetState(lsEdit); }
    void EndEdit() { SetState(lsBrowse); }
    void Open();
    void Close();
    // A new layer (inactive, its file neither read nor written) becomes
    // active as if an empty layer file had been written and opened; its
    // first InternalPost writes the file. An import that fills a new layer
    // at once so writes its file once, not twice.
    void OpenEmpty();
    // Writes an empty layer file for a new layer (when the file has been
    // neither read nor written by this layer and the layer is inactive).
    virtual void CreateLayerFile();
    virtual void InternalOpen();
    virtual void InternalClose();
    // Writes the layer file (beside it, then BeforeFileReplaced, then in
    // its place), then frees the deleted objects and empties the edit
    // lists. Raises (and changes nothing) when the file cannot be written
    // or BeforeFileReplaced raises.
    virtual void InternalPost();
    virtual void InternalCancel();

    // ---- drawing
    // Draws the visible objects that cross the context's window; errors of
    // single objects are dropped. Nothing without a context. Off the redraw
    // threads it first lets a threaded redraw that paints the layer end.
    virtual void Draw(TDrawContext* dc);
    // Draw on the layer's current context (the host's).
    virtual void Redraw();
    // Through the current context; raises EEngineError without one. A
    // layer in its own coordinate system (theme layers) reprojects here.
    virtual QPoint WorldToScreen(double x, double y) const;
    virtual QPointF ScreenToWorld(int x, int y) const;

    // ---- files
    // The layer file body: int32 coordinate unit code, int32 count, object
    // records, "EOF".
    virtual void WriteObjects(TStream& stream) const;
    // Reads a body and appends its objects (all or nothing).
    virtual void ReadObjects(TStream& stream);
    // Writes the layer file atomically; then DatabaseName and LayerName
    // become the folder and name of the (absolute) file name.
    void SaveToFile(const QString& fileName);
    // Reads a layer file, appending its objects; DatabaseName and LayerName
    // become those of the file name. Raises on failure (nothing appended).
    void LoadFromFile(const QString& fileName);
    // The layer's record in a layers section.
    virtual void WriteHeader(TStream& stream) const;
    virtual void ReadHeader(TStream& stream);
    // The style: the symbology blocks of Defaults and SelectionHilite.
    virtual void WriteStyle(TStream& stream) const;
    virtual void ReadStyle(TStream& stream);
    void LoadStyleFromFile(const QString& fileName);
    // Writes the style file atomically.
    void SaveStyleToFile(const QString& fileName) const;

    // ---- notifications
    TChangeLink* AddChangeLink(const void* control) { return links_.Add(control); }
    void RemoveChangeLink(const void* control) { links_.Remove(control); }
    const TChangeLinks& ChangeLinks() const { return links_; }
    // Every link's change callback in list order, then OnChange; inside
    // BeginUpdate/EndUpdate gathered into one.
    virtual void Changed();
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

    // Progress of a long operation on the layer run from outside it (the
    // DXF exchange): DoProgress, so OnProgress.
    void ReportProgress(int current, int total) { DoProgress(current, total); }

    TNotifyEvent OnChange, BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TProgressEvent OnProgress;
    // A layer file could not be read while opening.
    TErrorEvent OnError;

    // ---- TObjectOwner
    TVisualObject* FindById(const QString& id) const override;
    void ObjectIdChanged(TVisualObject& object, const QString& oldId) override;
    TDrawContext* DrawContext() const override;
    bool InEditState() const override { return state_ == lsEdit; }
    void Flash(TVisualObject& object, int milliseconds) override;
    // An object of the layer is about to change: LayerChanging, and the
    // layer's Revision grows (its extent, indexes and the pixels kept for
    // the next redraw are worked out again).
    void ObjectChanging(TVisualObject&) override;
    // Drawing reads the mark from the object itself: only LayerChanging.
    void SelectionMarkChanging(TVisualObject&) override { LayerChanging(); }

    // Waits until a threaded redraw that paints this layer has ended (it is
    // let run to its end); nothing when none runs. Queries that read the
    // objects (ObjectsWithin, ObjectsIntersecting, the view's pick and
    // identify) call it, since drawing keeps caches inside the objects.
    void WaitDrawn() const;

protected:
    // Called before anything that drawing reads changes (the object list,
    // the objects, visibility, state, style): stops a threaded redraw that
    // paints this layer and waits for it; the redraw is asked for again.
    // Nothing on a redraw thread itself.
    void LayerChanging();
    void StopRedraw() override { LayerChanging(); }
    bool RedrawStopped() const override;
    virtual TLayerState GetState() const { return state_; }
    virtual void SetStateValue(TLayerState value);
    // Runs before a style is read (a theme layer empties its classes).
    virtual void BeforeStyleLoad() {}
    // Runs inside InternalPost once the new layer file is written beside
    // the old one and before it takes the old one's place: what is posted
    // together with the objects (a theme layer's records). A raise keeps
    // the old file and the pending edits.
    virtual void BeforeFileReplaced() {}
    // The objects of the layer are drawn (inside Draw).
    virtual void DrawObjects(TDrawContext& dc);

    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoProgress(int current, int total);
    virtual void DoError(const QString& message);

    // For descendants that open more than the layer file (a theme layer
    // opens its attribute table as well).
    void SetOpenFlags(bool active, bool fileCreated) {
        active_ = active;
        fileCreated_ = fileCreated;
    }
    // Takes an object that was added in this edit (and was not in the
    // layer before it) out again, as if it had never been added, and hands
    // it back; nullptr for an object the layer does not hold so.
    std::unique_ptr<TVisualObject> Withdraw(TVisualObject* object);

    // Writes the layer file at path atomically (no name change).
    void WriteLayerFile(const QString& path) const;
    // Reads the layer file at path, appending; no name change.
    void ReadLayerFile(const QString& path);

private:
    bool Holds(const TVisualObject* object) const;
    bool Refuses(TVisualObject* object) const;
    void TakeIn(TVisualObject* object);
    int TakeAt(std::size_t index, std::unique_ptr<TVisualObject> object);
    std::size_t Find(const TVisualObject* object) const;
    void PutAside(std::size_t index);
    void Forget(TVisualObject* object);
    void FreeObjects();
    void ReleaseLock();
    void AfterListChange();
    void IndexAdd(TVisualObject* object);
    void IndexRemove(TVisualObject* object, const QString& key);
    void EnsureIndex() const;
    void Extend(const TVisualObject* object);
    void RequestRedraw();
    void BeginBuffer();
    void EndBuffer();

    TLayerHost* owner_;
    QString databaseName_;
    QString layerName_ = QStringLiteral("noname.cam");
    std::vector<std::unique_ptr<TVisualObject>> objects_;
    std::vector<TVisualObject*> selection_; // refers
    std::unordered_set<const TVisualObject*> selectedSet_;
    QString caption_;
    TDrawn<bool> visible_{true};
    bool legendVisible_ = true;
    TCoordinateUnit coordinateUnits_ = cuLocal;
    std::unique_ptr<TThemeClass> defaults_;
    std::unique_ptr<TThemeClass> selectionHilite_;
    bool frozen_ = false;
    bool readOnly_ = false;
    TDrawn<TLayerState> state_{lsBrowse};
    TEntityType editEntity_ = etNone;
    std::int32_t tag_ = 0;
    TVisualObject* current_ = nullptr;
    TDrawContext* canvas_ = nullptr;  // while Draw runs
    bool drawing_ = false;
    std::atomic<std::int64_t> lastDrawTime_{0};
    TDrawn<bool> loading_{false};
    bool destroying_ = false;
    bool fileCreated_ = false;
    bool active_ = false;

    // The edit buffer.
    std::vector<TVisualObject*> inserted_;         // refers (in objects_)
    std::vector<std::unique_ptr<TVisualObject>> deleted_;
    std::unordered_set<const TVisualObject*> insertedSet_;
    std::unordered_set<const TVisualObject*> deletedSet_;
    std::unordered_set<const TVisualObject*> newDeletedSet_;  // deleted, added in this edit
    std::vector<TVisualObject*> original_;         // the list when the edit began (refers)
    bool originalValid_ = false;
    bool holdsLock_ = false;
    QString lockPath_;

    // Id -> objects: open addressing with linear probing over a power of
    // two of slots, at least twice the objects. A slot holds the hash of
    // its object's trimmed Id and the object (nullptr: empty), so that a
    // look-up reads one run of slots and the Id of the object it names.
    // The objects of one Id lie along their run in list order (objects
    // come in at the end of the list, or the index is built again), so the
    // first met is the first in the list.
    struct TIdSlot {
        std::size_t Hash = 0;
        TVisualObject* Object = nullptr;
    };
    // The first object of the key (and, with exact, of that Id as it is).
    TVisualObject* IndexFind(QStringView key, const QString* exact) const;
    bool IndexHasOther(const TVisualObject* object) const;
    void IndexPut(TVisualObject* object, std::size_t hash) const;
    mutable std::vector<TIdSlot> idSlots_;
    mutable std::size_t idCount_ = 0;
    mutable bool indexValid_ = false;
    mutable TBounds bounds_;
    mutable bool boundsValid_ = true;
    std::uint64_t revision_ = 0;

    // Draws the objects, with what it keeps between redraws.
    std::unique_ptr<TLayerPainter> painter_;
    // The list the layer is in, and the list whose threaded redraw paints
    // it now; set and cleared by that list on the user-interface thread.
    friend class TLayers;
    TLayers* listedIn_ = nullptr;
    TLayers* redrawList_ = nullptr;
    // Redraw threads drawing the layer now.
    friend class TLayerRedrawThread;
    std::atomic<int> workerDraws_{0};

    TChangeLinks links_;
    int updateCount_ = 0;
    bool pendingChange_ = false;
};
