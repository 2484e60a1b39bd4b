#pragma once
// TDrawingTools: the interactive side of a map view (TDrawing). It turns
// the control's mouse presses, moves and releases, keyboard point entry and
// tablet packets into the work of the current command: pick (identify,
// select), zoom, pan, measure, and drawing and editing objects on the
// active layer. The view owns one and hands it its Qt mouse events.
//
// Feedback (rubber bands, guides, the chain being drawn) is a pixel path
// given to the view's SetRubberBand: it lies over the picture and never
// enters the map image; each move replaces it, ending an operation clears
// it.
//
// Ownership: the object under construction (a contour or a line) is owned
// here and shown to the active layer as its current object; it is freed
// when the operation ends or is abandoned (a new command or entity type).
// Per-layer spatial indexes are kept here, each tied to its layer by a
// change link so that it goes when the layer goes.
//
// Qt's press / release / double-click sequence maps onto the control's:
// press = MouseDown; release = MouseUp, then Click (left button); the
// double click's press = MouseDown, then DblClick; its release = MouseUp
// only.
#include <memory>
#include <unordered_map>
#include <vector>

#include <QLineEdit>
#include <QPainterPath>
#include <QPoint>
#include <QPointer>

#include "engine/core/Vertex.h"
#include "engine/layers/EntityType.h"
#include "engine/view/DrawingTypes.h"
#include "engine/view/SpatialIndex.h"

class QMouseEvent;
class TDrawing;
class TLayer;
class TContour;
class TLine;
class TPolygon;
class TTablet;
class TText;
class TVisualObject;

class TDrawingTools {
public:
    explicit TDrawingTools(TDrawing& view);
    ~TDrawingTools();
    TDrawingTools(const TDrawingTools&) = delete;
    TDrawingTools& operator=(const TDrawingTools&) = delete;

    // ---- the control's input (pixels of the control)
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void MouseMove(Qt::KeyboardModifiers shift, int X, int Y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void Click();
    void DblClick();
    void QtMousePress(const QMouseEvent& event);
    void QtMouseRelease(const QMouseEvent& event);
    void QtMouseMove(const QMouseEvent& event);
    void QtMouseDoubleClick(const QMouseEvent& event);

    // Keyboard point entry: mode 0 cartesian (values are coordinates, each
    // relative to MeasureFrom when asked), mode 1 polar (value1 a distance
    // in the view's DistanceUnits, value2 an angle in its AngleUnits,
    // counter-clockwise from +x, relative to the last bearing when
    // relativeY; relativeX puts the origin at MeasureFrom). Then a click at
    // the point, which is kept exactly (not rounded to a pixel).
    void EnterPoint(bool relativeX, bool relativeY, double value1, double value2, int mode);
    // The tablet's packet: buttons 0 moves, 1 clicks, any other value
    // clicks twice and double-clicks.
    void TabletPacket();
    TTablet& Tablet() const { return *tablet_; }
    void SetDigitizer(TDigitizer v);
    // After a limit of the view changed: the tablet's Width (horizontal) or
    // Height follows valid limits, and an enabled tablet is closed and
    // opened again over them; when it cannot be opened again the view goes
    // back to the mouse.
    void LimitsChanged(bool horizontal);

    void SetEntityType(TEntityType value);
    // From the view's ExecuteCommand, after a tool command became current:
    // the half-built object of the previous one is freed.
    void CommandExecuted(TDrawingCommand previous, TDrawingCommand command);

    // The in-place editor of a text (etEditText): made on the view at the
    // click, holding the text; each change is copied into the text, and
    // leaving it (Return, focus elsewhere) hides and frees it. It also goes
    // when the tool changes, when the text leaves its layer and when the
    // layer goes. nullptr when none.
    QLineEdit* InPlaceEditor() const { return editor_.data(); }
    void EditTextChanged();
    void EditTextDone();

    // ---- state
    bool Rubber() const { return rubber_; }
    TVertex AnchorPoint() const { return anchor_; }
    TVertex EndPoint() const { return end_; }
    double LastBearing() const { return lastBearing_; }
    QPoint LastMousePixel() const { return lastMousePixel_; }
    // The chain being drawn or measured; nullptr when none.
    const TContour* Construction() const { return contour_.get(); }
    // The pick box of a click at the cursor: lower X, lower Y, upper X,
    // upper Y, through the view's mouse transform.
    void PickBox(double& x1, double& y1, double& x2, double& y2) const;
    // The index kept for a layer (made on first use).
    TLayerIndex& IndexFor(TLayer& layer);
    // Frees the object under construction and clears the feedback.
    void Abandon();

private:
    TLayer* EditLayer() const;
    void ShowOn(TLayer& layer, TVisualObject* object);
    void UpdateFeedback(int X, int Y);
    QPainterPath FeedbackPath(int X, int Y) const;
    void CommandClick();
    void EntityClick(TLayer& layer);
    void EntityDblClick(TLayer& layer);
    void FinishRubber();
    // The first point of a multi-point operation was given: the tool goes
    // to editMode with the rubber band on. EndRubber: the feedback goes, the
    // tool goes back to editMode, the rubber band off.
    void BeginRubber(int editMode);
    void EndRubber(int editMode);
    // A click of a chain (measures, polylines, polygons, contours, holes,
    // frontiers): the first starts it in firstEditMode, the others add the
    // cursor point (editMode 3).
    void ChainClick(int firstEditMode);
    // The double click that closes the chain into a ring: the cursor point
    // added, the ring closed; false with fewer than three distinct points.
    bool TakeRing(std::vector<TVertex>& ring);
    // The chain or line under construction freed, the tool waiting again.
    void EndConstruction();
    // Translate, rotate and scale: the first click fixes the anchor (the
    // rotate guide, the grabbed corner of the scale), the second applies.
    void SelectionToolClick(TLayer& layer);
    bool GrabScaleCorner(TLayer& layer);
    // Circles, arcs and images, click by click.
    void ShapeClick(TLayer& layer);
    void StartContour(int editMode);
    void AppendCursor();
    void DiscardContour();
    void AddNew(TLayer& layer, std::unique_ptr<TVisualObject> object);
    void AfterGeometryChange(TLayer& layer);
    void InsertVertex(TLayer& layer);
    void GrabVertex(TLayer& layer);
    void MoveGrabbed(TLayer& layer);
    void DeleteVertex(TLayer& layer);
    void GiveHole(TLayer& layer, std::unique_ptr<TContour> hole);
    void SplitAlong(TLayer& layer);
    void TranslateSelection(TLayer& layer);
    void RotateSelection(TLayer& layer);
    void ScaleSelection(TLayer& layer);
    void StartTextEdit(TLayer& layer);
    // Selects the objects (not in a frozen layer) and asks for a redraw.
    void SelectObjects(TLayer& layer, const std::vector<TVisualObject*>& objects);
    // The edited text while it is still in its layer, else nullptr.
    TText* EditedText();
    TVertex Cursor() const;
    QPoint CursorPixel() const;

    TDrawing& v_;
    std::unique_ptr<TTablet> tablet_;
    bool rubber_ = false;
    TVertex anchor_{}, end_{};
    double lastBearing_ = 0;
    QPoint lastPixel_, lastMousePixel_, panStart_;
    bool afterDoubleClick_ = false;
    // Under construction: the chain of polylines, polygons, contours,
    // holes, frontiers and measures, or a line.
    std::unique_ptr<TContour> contour_;
    std::unique_ptr<TLine> line_;
    TLayer* shownOn_ = nullptr;  // whose current object shows the construction
    // The rotate guide: centre, radius, start angle.
    TVertex guideCentre_{};
    double guideRadius_ = 0, guideStart_ = 0;
    // Circles, arcs and images: the centre (or lower corner), radius and
    // start angle given so far.
    TVertex shapeCentre_{};
    double shapeRadius_ = 0, shapeStart_ = 0;
    // The vertex grabbed by etEditVertex and its neighbours on screen.
    bool grabbed_ = false;
    TVertex grabbedAt_{};
    std::vector<TVertex> grabbedNeighbours_;
    // The text being edited in place, its layer and the layer's revision
    // when the text was last seen in it.
    QPointer<QLineEdit> editor_;
    TText* editedText_ = nullptr;
    TLayer* editedLayer_ = nullptr;
    std::uint64_t editedRevision_ = 0;

    struct TIndexEntry {
        std::unique_ptr<TLayerIndex> index;
    };
    std::unordered_map<TLayer*, TIndexEntry> indexes_;
};
