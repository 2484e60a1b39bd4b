#pragma once
// TDrawingTools: the interactive side of a map view (TDrawing). It turns
// the control's mouse presses, moves and releases, keyboard point entry and
// tablet packets into the work of the current command: pick (identify,
// select), zoom, pan, measure, and drawing and editing objects on the
// active layer. The view owns one and hands it its Qt mouse events.
//
// Feedback (rubber bands, guides, the chain being drawn) is made of pixel
// paths given to the view: the command's in black, the object's in the
// active layer's default line colour. It lies over the picture and never
// enters the map image; each move replaces it, ending an operation clears
// it.
//
// The tools keep the click protocol's state (EditMode, EntityType, the
// digitizer) and see the view only through TToolView.
//
// Ownership: the object under construction (a contour, a line, the centre
// of an arc or circle, a grabbed vertex) is owned here and shown to the
// active layer as its current object. Choosing another command or entity
// type sets it aside; choosing its entity again (with dcDraw) carries on
// where it stood. It is freed when it is finished, when another object is
// begun, or when the tools go. A measuring chain is owned here too and
// ends with its command.
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
#include <QPen>
#include <QPoint>
#include <QPointer>

#include "core/Vertex.h"
#include "engine/layers/EntityType.h"
#include "engine/objects/VisualObject.h"
#include "engine/view/DrawingTypes.h"
#include "engine/view/SpatialIndex.h"
#include "engine/view/ViewTransform.h"

class QMouseEvent;
class QWidget;
class TLayer;
class TContour;
class TLine;
class TPolygon;
class TTablet;
class TText;

// What the tools ask of the view they work on. The view implements it; the
// tools see nothing else of the view.
class TToolView {
public:
    virtual ~TToolView() = default;

    // ---- the control and its mapping
    // The control: parent of the in-place editor, the tablet's window.
    virtual QWidget& Control() = 0;
    // The view's own world <-> pixel mapping (whatever drives the cursor).
    virtual const TViewTransform& Transform() const = 0;
    // The world window shown and the drawing limits (X and Y only).
    virtual TBounds ViewWindow() const = 0;
    virtual TBounds Limits() const = 0;
    // Whether a window would show a larger scale than now.
    virtual bool ShowsLargerScale(double x1, double y1, double x2, double y2) const = 0;

    // ---- what the tools read
    struct TSettings {
        int SnapTolerance = 5;
        bool SnapEnabled = false;
        double SnapX = 0, SnapY = 0;
        bool DotAid = false;
        TDistanceUnit DistanceUnits = duMeter;
    };
    virtual TSettings Settings() const = 0;
    virtual TLayer* ActiveLayer() const = 0;
    virtual TDrawingState State() const = 0;
    virtual TDrawingCommand Command() const = 0;

    // ---- the pointer and the measured segment
    virtual TVertex Cursor() const = 0;
    virtual void SetCursor(const TVertex& v) = 0;
    virtual TVertex MeasureFrom() const = 0;
    virtual void SetMeasureFrom(const TVertex& v) = 0;
    virtual void SetMeasureTo(const TVertex& v) = 0;
    virtual double Bearing() const = 0;
    virtual double MeasureLength(const TContour& contour) const = 0;
    virtual double MeasureArea(const TContour& contour) const = 0;
    virtual double AngleToRadians(double angle) const = 0;

    // ---- what the tools do to the view
    // The feedback, in pixels of the control: each band drawn with its pen.
    virtual void SetRubberBands(std::vector<std::pair<QPainterPath, QPen>> bands) = 0;
    virtual void SetImageOffset(const QPoint& offset) = 0;
    virtual void Flash(const QPainterPath& pixels, int milliseconds) = 0;
    virtual void SetToolCursor(int number) = 0;
    virtual void ZoomWindow(double x1, double y1, double x2, double y2) = 0;
    virtual void Pan(double dx, double dy) = 0;
    virtual void Redraw() = 0;
    virtual void RedrawRequested() = 0;

    // ---- the view's events
    enum TMouseKind { mkDown, mkMove, mkUp };
    virtual void MouseEvent(TMouseKind kind, Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) = 0;
    virtual void Clicked() = 0;
    virtual void DoubleClicked() = 0;
    virtual void Identified(TVisualObject& object) = 0;
    virtual void Measured(double measure) = 0;
};

class TDrawingTools {
public:
    explicit TDrawingTools(TToolView& view);
    ~TDrawingTools();
    TDrawingTools(const TDrawingTools&) = delete;
    TDrawingTools& operator=(const TDrawingTools&) = delete;

    // ---- the control's input (pixels of the control)
    // The zoom box and the pan drag follow any button; clicks are the left
    // button's.
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
    // relativeY; relativeX puts the origin at MeasureFrom). With snap on
    // the point goes to the snap grid as a pointer would; then a click at
    // the point, which is kept exactly (not rounded to a pixel).
    void EnterPoint(bool relativeX, bool relativeY, double value1, double value2, int mode);
    // The tablet's packet: buttons 0 moves, 1 clicks, any other value
    // clicks twice and double-clicks.
    void TabletPacket();
    TTablet& Tablet() const { return *tablet_; }
    TDigitizer Digitizer() const { return digitizer_; }
    // digTablet opens the tablet and stays digMouse when it reports
    // IOError; digMouse closes it; digKeyboard changes nothing.
    void SetDigitizer(TDigitizer v);
    // After a limit of the view changed: the tablet's Width (horizontal) or
    // Height follows valid limits, and an enabled tablet is closed and
    // opened again over them; when it cannot be opened again the view goes
    // back to the mouse.
    void LimitsChanged(bool horizontal);

    TEditMode EditMode() const { return editMode_; }
    TEntityType EntityType() const { return entityType_; }
    // The entity dcDraw makes, with the step it starts at and its cursor;
    // an object of that entity set aside earlier is taken up again.
    void SetEntityType(TEntityType value);
    // From the view's ExecuteCommand, after a tool command became current:
    // its first step and cursor; an object under construction is set
    // aside, a measurement ends.
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
    // The chain being drawn (set aside or not); nullptr when none.
    const TContour* Construction() const { return contour_.get(); }
    // The pick box of a click at the cursor: lower X, lower Y, upper X,
    // upper Y, through the view's mouse transform.
    void PickBox(double& x1, double& y1, double& x2, double& y2) const;
    // The index kept for a layer (made on first use).
    TLayerIndex& IndexFor(TLayer& layer);
    // Frees the object under construction and the measurement, and clears
    // the feedback.
    void Abandon();

private:
    TLayer* EditLayer() const;
    void ShowOn(TLayer& layer, TVisualObject* object);
    // The pointer's world position on the snap grid (snap on), kept within
    // the view window.
    void Snap(double& x, double& y) const;
    void UpdateFeedback(int X, int Y);
    // The command's feedback (black) and the object's (the layer's line
    // colour).
    QPainterPath CommandFeedback(int X, int Y) const;
    QPainterPath EntityFeedback(int X, int Y) const;
    void CommandClick();
    void EntityClick(TLayer& layer);
    void EntityDblClick(TLayer& layer);
    void FinishRubber();
    // The first point of a multi-point operation was given: the tool goes
    // to editMode with the rubber band on. EndRubber: the feedback goes, the
    // tool goes back to editMode, the rubber band off.
    void BeginRubber(TEditMode editMode);
    void EndRubber(TEditMode editMode);
    // A click of a measuring chain or of a drawn chain (polylines,
    // polygons, contours, holes, frontiers): the first starts it in
    // firstEditMode, the others add the cursor point (emMorePoints).
    void ChainClick(std::unique_ptr<TContour>& chain, TEditMode firstEditMode);
    // The double click that closes the chain into a ring: the cursor point
    // added, the ring closed; false with fewer than three distinct points.
    bool TakeRing(TContour& chain, std::vector<TVertex>& ring);
    // The object under construction begins: one set aside earlier goes.
    void BeginConstruction();
    // The object under construction freed (the tool waiting again).
    void DiscardConstruction();
    bool Constructing() const { return constructionEntity_ != etNone; }
    // Sets the object under construction aside / takes it up again.
    void Suspend();
    void Resume();
    void EndConstruction();
    void EndMeasure();
    // Translate, rotate and scale: the first click fixes the anchor (the
    // rotate guide, the grabbed corner of the scale), the second applies.
    void SelectionToolClick(TLayer& layer);
    bool GrabScaleCorner(TLayer& layer);
    // Circles, arcs and images, click by click.
    void ShapeClick(TLayer& layer);
    void AppendCursor(TContour& chain);
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
    TVertex Cursor() const { return v_.Cursor(); }
    QPoint CursorPixel() const;
    QPoint Pixel(const TVertex& w) const;

    TToolView& v_;
    std::unique_ptr<TTablet> tablet_;
    TDigitizer digitizer_ = digMouse;
    TEditMode editMode_ = emSingleClick;
    TEntityType entityType_ = etNone;
    bool rubber_ = false;
    TVertex anchor_{}, end_{};
    double lastBearing_ = 0;
    QPoint lastPixel_, lastMousePixel_, panStart_;
    bool afterDoubleClick_ = false;
    // The measuring chain of dcDistance and dcArea.
    std::unique_ptr<TContour> measure_;
    // Under construction: the entity it belongs to (etNone for nothing),
    // whether it is set aside and the step it stood at; the chain of
    // polylines, polygons, contours, holes and frontiers, or a line.
    TEntityType constructionEntity_ = etNone;
    bool suspended_ = false;
    TEditMode suspendedMode_ = emSingleClick;
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
