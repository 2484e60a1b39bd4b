#pragma once
// What a layer needs of the view that owns it. The map view implements
// this interface and passes itself to its layers (TLayer(owner)) and to
// its layer list (TLayers(drawing)); layers and lists work without one
// as well (tests, tools), and then draw only on a context they are given.
#include <functional>
#include <memory>

#include <QString>

class QPainter;
class TDrawContext;
class TLayer;
class TVisualObject;

// Makes the context a layer draws through onto a picture of a threaded
// redraw: the view's transform and settings, copied when the redraw starts
// (it runs on the redraw threads and must not read the view).
using TDrawContextMaker = std::function<std::unique_ptr<TDrawContext>(QPainter& painter)>;

class TLayerHost {
public:
    virtual ~TLayerHost() = default;

    // The context the layers draw on when no other is given: the view's
    // own off-screen picture and transform. nullptr when there is none.
    virtual TDrawContext* HostDrawContext() = 0;
    // The view's Redraw: asked for after a layer's selection or edit state
    // has changed. The view may repaint at once or schedule it.
    virtual void RedrawRequested() = 0;
    // Shows an object highlighted for a while (identify feedback); the
    // call returns at once and the view ends the flash by itself.
    virtual void FlashObject(TLayer& layer, TVisualObject& object, int milliseconds) {}
    // A layer's file could not be read while the layer was opened: the
    // layer is empty and inactive. The message says why.
    virtual void LayerOpenFailed(TLayer& layer, const QString& message) {}
    // Whether the layer list paints its layers on its redraw threads (the
    // view's SeparatedDrawThread).
    virtual bool SeparatedDrawThread() const { return false; }
    // The contexts of a threaded redraw; an empty maker makes the list paint
    // directly.
    virtual TDrawContextMaker LayerContextMaker() const { return {}; }
    // Pictures of a threaded redraw have been laid onto HostDrawContext();
    // finished after the last one.
    virtual void LayersComposed(bool finished) {}
    // Something failed on the threads of a threaded redraw that has ended
    // (a layer, a drawing context, a picture): the picture lacks what it
    // would have drawn. The message says what.
    virtual void RedrawFailed(const QString& message) {}
    // The file that names the layers (the drawing file), for finding layer
    // files whose stored folder does not exist here; empty for none.
    virtual QString ReferringFileName() const { return {}; }
};
