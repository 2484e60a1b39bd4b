#pragma once
// The ordered list of the layers of one map view: painted from the last
// layer to the first (so layer 0 lies on top), stored as the layers
// section of a drawing file, and listened to by layer list boxes.
//
// Ownership: the list holds two things.
// - The layer order (GetItem, Add, Insert, Delete): references only.
//   Delete takes a layer out of the order and leaves it alive. A layer is in
//   one list at most (a list's redraw threads paint it without locks): Add
//   and Insert refuse a layer that another list holds.
// - The view's layers as components (Adopt, FreeLayer): the layers the
//   list owns and frees on its destruction, listed or not. Layers read
//   from a layers section are owned here; a caller may add layers it
//   keeps itself, as long as they outlive the list or leave it first.
//
// Drawing: Draw paints every layer of a range in turn on the calling
// thread. Redraw does the same onto the view's context, unless the view
// asks for separate threads (TLayerHost::SeparatedDrawThread): then the
// layers are painted on the redraw threads (RedrawThreads.h) into pictures
// that this list lays onto the view's context, the last layer first, on the
// thread that started the redraw, as its event loop hands over the news;
// Redraw returns at once and GetRedrawing stays true until the last picture
// is laid. A new redraw, any change to the list, to a listed layer or to its
// objects, and the list's end stop the running redraw and wait for its
// threads (WaitRedraw); a redraw so stopped before its end is asked of the
// view again (RedrawRequested), unless a new one takes its place or the list
// ends. Queries and direct drawing let it end first (FinishRedraw). An error
// on a redraw thread goes to the view (RedrawFailed) when the redraw ends.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "engine/layers/Layer.h"
#include "engine/layers/LayerHost.h"
#include "engine/symbology/ChangeLink.h"

class QObject;
class TDrawContext;
class TLayersRedrawThread;
class TStream;

// Makes a new layer of a class for a view.
using TLayerFactory = std::function<std::unique_ptr<TLayer>(TLayerHost* owner)>;
// Registers (or replaces) a layer class under its name ("TThemeLayer");
// names are looked up without regard to case. "TLayer" is registered from
// the start; other layer classes register theirs at start-up, from code.
void RegisterLayerClass(const QString& className, TLayerFactory factory);
// A new layer of the registered class; nullptr when it is not registered.
std::unique_ptr<TLayer> CreateLayerOfClass(QStringView className, TLayerHost* owner);

class TLayers {
public:
    using TNotifyEvent = std::function<void(TLayers& sender)>;
    using TBeforeAddEvent = std::function<void(TLayers& sender, TLayer& layer, bool& skip)>;
    using TAfterAddEvent = std::function<void(TLayers& sender, TLayer& layer)>;
    using TProgressEvent = std::function<void(TLayers& sender, int current, int total)>;

    explicit TLayers(TLayerHost* drawing = nullptr);
    virtual ~TLayers();
    TLayers(const TLayers&) = delete;
    TLayers& operator=(const TLayers&) = delete;

    // The class name; the section's marker is this without the "T",
    // upper-cased ("LAYERS").
    virtual QString ClassName() const { return QStringLiteral("TLayers"); }
    TLayerHost* Drawing() const { return drawing_; }

    // ---- the order
    // Raises EListError out of range.
    TLayer* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(list_.size()); }
    // Raise EListError for a layer that another list holds.
    int Add(TLayer* layer);
    void Insert(int index, TLayer* layer);
    // Takes the layer out of the order; it stays alive (and owned here
    // when it was).
    void Delete(int index);
    int IndexOf(const TLayer* layer) const;
    // The first layer whose Caption equals the name exactly; -1 when none.
    int IndexOfName(const QString& name) const;
    // Raises EListError when no layer has the name.
    TLayer* GetLayerByName(const QString& name) const;
    TLayer* FindLayer(const QString& name) const;

    // ---- the components
    // Takes ownership of a layer (without listing it); returns it.
    TLayer* Adopt(std::unique_ptr<TLayer> layer);
    // Adopt, then Add; the index.
    int Add(std::unique_ptr<TLayer> layer);
    // Takes the layer out of the order and frees it when it is owned here.
    void FreeLayer(TLayer* layer);
    bool Owns(const TLayer* layer) const;

    // ---- drawing
    // Each layer from index last down to index first gets its Redraw.
    virtual void Redraw(int first, int last);
    // Each layer from index last down to index first draws on dc (indices
    // outside the list are left out).
    virtual void Draw(TDrawContext& dc, int first, int last);
    virtual void RedrawAll() { Redraw(0, GetCount() - 1); }
    bool GetRedrawing() const { return redrawing_; }
    // A threaded redraw of less work than this (RedrawWork of its layers
    // together, in nanoseconds) is drawn at once on the calling thread
    // instead: sharing it out would cost more than it saves. 0 shares every
    // redraw.
    std::int64_t ThreadedRedrawMinimum() const { return threadedMinimum_; }
    void SetThreadedRedrawMinimum(std::int64_t ns) { threadedMinimum_ = ns; }
    // Stops a running threaded redraw and waits for its threads; the
    // pictures not laid yet are dropped and the redraw is asked of the view
    // again. Nothing when none runs.
    void WaitRedraw();
    // Waits for a running threaded redraw to end and lays all its pictures.
    void FinishRedraw();
    // A threaded redraw runs (its threads may be painting).
    bool RedrawThreadsRunning() const { return redraw_ != nullptr; }

    // ---- stream: marker line, int32 count, layer records, "E" + marker
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream);
    virtual void WriteData(TStream& stream) const;
    // Reads the layer records: each layer is made by its registered class,
    // reads its header, is offered to OnBeforeAdd (skip leaves it owned
    // and unlisted), opened (a layer whose file cannot be read stays
    // listed, empty and inactive) and appended after OnAfterAdd. A record
    // of a class that is not registered raises EFormatError naming it, with
    // the stream put back at the start of the record; the layers read
    // before it stay. One change notification follows the read.
    virtual void ReadData(TStream& stream);

    // ---- notifications
    TChangeLink* AddChangeLink(const void* control) { return links_.Add(control); }
    void RemoveChangeLink(const void* control) { links_.Remove(control); }
    const TChangeLinks& ChangeLinks() const { return links_; }
    virtual void Changed();

    TNotifyEvent OnChange;
    TBeforeAddEvent OnBeforeAdd;
    TAfterAddEvent OnAfterAdd;
    TProgressEvent OnProgress;

protected:
    virtual void DoBeforeAdd(TLayer& layer, bool& skip);
    virtual void DoAfterAdd(TLayer& layer);
    virtual void DoProgress(int current, int total);

private:
    bool StartRedrawThreads(int first, int last);
    void PicturesReady(std::uint64_t generation);
    // Stops the threads; askAgain asks the view for the redraw again.
    void StopRedrawThreads(bool askAgain);
    // Lets go of the ended redraw; the first error of its threads, if any.
    QString EndRedrawThreads();
    // The layer comes into / leaves the order.
    void Enlist(TLayer* layer);
    void Unlist(TLayer* layer);

    TLayerHost* drawing_;
    std::vector<TLayer*> list_;
    std::vector<std::unique_ptr<TLayer>> owned_;
    bool redrawing_ = false;
    TChangeLinks links_;
    // The running threaded redraw, and the object on this thread that the
    // workers' news is posted to.
    std::unique_ptr<TLayersRedrawThread> redraw_;
    std::unique_ptr<QObject> notifier_;
    std::uint64_t generation_ = 0;
    std::int64_t threadedMinimum_ = 10'000'000;
};
