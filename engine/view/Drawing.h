#pragma once
// TDrawing: the map view control. It shows a window of the world on its
// area, converts between world coordinates (Doubles, y up) and pixels
// (y down), zooms and pans with a history of earlier windows, keeps the
// map scale and the units in which lengths and angles are reported, and
// draws its layers into an off-screen image when Redraw is asked for.
// paintEvent only copies that image and puts the transient marks (rubber
// bands, flashes) on top.
//
// The view's values that its layers read while they draw (the scale, and a
// coordinate-aware view's coordinate system) are TDrawn: they change only
// once a threaded redraw of the layers has stopped.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QStringList>
#include <QWidget>

#include "core/Color.h"
#include "core/Vertex.h"
#include "engine/layers/LayerHost.h"
#include "engine/layers/Layers.h"
#include "engine/view/DrawingTypes.h"
#include "engine/view/ViewDrawContext.h"
#include "engine/view/ViewTransform.h"

class TStream;
class TContour;
class TVisualObject;
class TDrawingTools;
class TTablet;

class TDrawing : public QWidget, public TLayerHost, protected TRedrawGuard {
public:
    using TNotifyEvent = std::function<void(TDrawing* sender)>;
    using TMeasureEvent = std::function<void(TDrawing* sender, double measure)>;
    using TVisualObjectIdentifyEvent = std::function<void(TDrawing* sender, TVisualObject& object)>;
    using TGetFileNameEvent = std::function<void(TDrawing* sender, QString& fileName)>;
    using TProgressCountEvent = std::function<void(TDrawing* sender, int position, int maximum)>;
    // Reports a failure that the view swallowed (a drawing file that could
    // not be read); the application shows the message.
    using TErrorEvent = std::function<void(TDrawing* sender, const QString& message)>;
    // Pixel position of the control (possibly snapped); NoButton for moves.
    using TMouseEvent =
        std::function<void(TDrawing* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y)>;

    explicit TDrawing(QWidget* parent = nullptr);
    ~TDrawing() override;

    // ---- layers
    // The view's layer list; it owns the layers read from the drawing file.
    TLayers& Layers() const { return *layers_; }
    // The layer the tools and the layer zooms work on; not owned; nullptr
    // for none.
    TLayer* ActiveLayer() const { return activeLayer_; }
    void SetActiveLayer(TLayer* layer) { activeLayer_ = layer; }

    // ---- descriptive texts and the file's place
    QString DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& v) { databaseName_ = v; }
    QString DrawingName() const { return drawingName_; }
    void SetDrawingName(const QString& v) { drawingName_ = v; }
    QString Title() const { return title_; }
    void SetTitle(const QString& v) { title_ = v; }
    QString Author() const { return author_; }
    void SetAuthor(const QString& v) { author_ = v; }
    QString Organization() const { return organization_; }
    void SetOrganization(const QString& v) { organization_ = v; }

    // ---- limits and window
    double LeftLimit() const { return lowerLimit_.X; }
    double BottomLimit() const { return lowerLimit_.Y; }
    double RightLimit() const { return upperLimit_.X; }
    double TopLimit() const { return upperLimit_.Y; }
    // Each stores the coordinate; with valid limits the tablet's Width (left
    // and right) or Height (bottom and top) follows, and an enabled tablet
    // is opened again over the new limits.
    void SetLeftLimit(double v);
    void SetBottomLimit(double v);
    void SetRightLimit(double v);
    void SetTopLimit(double v);
    // RightLimit > LeftLimit and TopLimit > BottomLimit.
    bool LimitsValid() const;

    double GetViewLeft() const { return viewMin_.X; }
    double GetViewBottom() const { return viewMin_.Y; }
    double GetViewRight() const { return viewMax_.X; }
    double GetViewTop() const { return viewMax_.Y; }

    // ---- snap, grid and other stored settings
    int SnapTolerance() const { return snapTolerance_; }
    void SetSnapTolerance(int v) { snapTolerance_ = v; }
    double SnapX() const { return snapX_; }
    void SetSnapX(double v) { snapX_ = v; }
    double SnapY() const { return snapY_; }
    void SetSnapY(double v) { snapY_ = v; }
    double SnapAngle() const { return snapAngle_; }
    void SetSnapAngle(double v) { snapAngle_ = v; }
    bool SnapEnabled() const { return snapEnabled_; }
    void SetSnapEnabled(bool v) { snapEnabled_ = v; }
    double GridX() const { return gridX_; }
    void SetGridX(double v) { gridX_ = v; }
    double GridY() const { return gridY_; }
    void SetGridY(double v) { gridY_ = v; }
    bool GridEnabled() const { return gridEnabled_; }
    // Redraws when the value changes.
    void SetGridEnabled(bool v);
    bool Ortho() const { return ortho_; }
    void SetOrtho(bool v) { ortho_ = v; }
    TColor Color() const { return color_; }
    // The background colour; the next Redraw uses it.
    void SetColor(TColor v);

    // ---- units and measuring
    TCoordinateUnit CoordinateUnits() const { return coordinateUnits_; }
    void SetCoordinateUnits(TCoordinateUnit v) { coordinateUnits_ = v; }
    TDistanceUnit DistanceUnits() const { return distanceUnits_; }
    // Ignored while State is dwsEdit.
    void SetDistanceUnits(TDistanceUnit v);
    TAngleUnit AngleUnits() const { return angleUnits_; }
    void SetAngleUnits(TAngleUnit v);
    int DistancePrecision() const { return distancePrecision_; }
    void SetDistancePrecision(int v) { distancePrecision_ = v; }
    int AnglePrecision() const { return anglePrecision_; }
    void SetAnglePrecision(int v) { anglePrecision_ = v; }
    int RedrawTolerance() const { return redrawTolerance_; }
    void SetRedrawTolerance(int v) { redrawTolerance_ = v; }
    bool DotAid() const { return dotAid_; }
    void SetDotAid(bool v) { dotAid_ = v; }
    // True paints the layers on the layer list's redraw threads: Redraw
    // returns at once and the picture fills in as the layers are done
    // (Layers().GetRedrawing() tells whether it still runs). Off by default.
    bool SeparatedDrawThread() const override { return separatedDrawThread_; }
    void SetSeparatedDrawThread(bool v) { separatedDrawThread_ = v; }

    // The map scale denominator: the world length of one pixel over the
    // physical size of a pixel (0.26385 mm), both in metres. It does not
    // depend on DistanceUnits. 0 until the first zoom.
    double Scale() const { return scale_; }
    // Values below 1 (or not a number) are ignored. Otherwise the window
    // keeps its lower-left corner and is resized to the control at that
    // scale.
    virtual void SetScale(double value);
    // Scale := UnitsPerPixel / pixelSizeMetres (the device's pixel size in
    // metres; 0 means the screen pixel).
    virtual void UpdateScale(double pixelSizeMetres);
    // The scale of a window with lower-left corner (left, bottom) shown at
    // unitsPerPixel on a draw area drawWidth pixels wide; NaN when it
    // cannot be told (Scale then stays as it was).
    virtual double ScaleAt(double left, double bottom, double unitsPerPixel, int drawWidth,
                           double pixelSizeMetres) const;
    // Whether ZoomWindow(X1, Y1, X2, Y2) would show a larger scale than
    // now; always true when the view cannot tell its scale (a coordinate
    // system it does not know). Zoom-out steps stop where it is false.
    bool ShowsLargerScale(double X1, double Y1, double X2, double Y2) const;
    double UnitsPerPixel() const { return transform_.UnitsPerPixel; }

    // World lengths are metres; the result is in DistanceUnits.
    double ToDistanceUnits(double length) const;
    // The world length of a number of pixels, in DistanceUnits.
    double PixelToDistance(double pixels) const;
    double AngleToRadians(double angle) const;
    double RadiansToAngle(double radians) const;

    // The measured segment.
    TVertex MeasureFrom() const { return measureFrom_; }
    TVertex MeasureTo() const { return measureTo_; }
    void SetMeasureFrom(const TVertex& v) { measureFrom_ = v; }
    void SetMeasureTo(const TVertex& v) { measureTo_ = v; }
    virtual double DeltaX() const;
    virtual double DeltaY() const;
    virtual double Distance() const;
    // Counter-clockwise from +x, in [0, 2 pi) turned into AngleUnits.
    virtual double Bearing() const;
    // The length of a contour's vertex chain in DistanceUnits; its area in
    // square world units, not converted.
    virtual double MeasureLength(const TContour& contour) const;
    virtual double MeasureArea(const TContour& contour) const;
    // Fixed notation with the precision's decimals and "," as separator.
    QString DeltaXText() const;
    QString DeltaYText() const;
    QString DistanceText() const;
    QString AngleText() const;

    // ---- world and screen
    int WorldToScreenX(double x) const { return transform_.WorldToScreenX(x); }
    int WorldToScreenY(double y) const { return transform_.WorldToScreenY(y); }
    virtual QPoint WorldToScreen(const TVertex& p) const;
    virtual double ScreenToWorldX(int X) const;
    virtual double ScreenToWorldY(int Y) const;
    virtual TVertex ScreenToWorld(const QPoint& p) const;
    const TViewTransform& Transform() const { return transform_; }
    int OffsetX() const { return transform_.OffsetX; }
    int OffsetY() const { return transform_.OffsetY; }
    int DrawWidth() const { return drawWidth_; }
    int DrawHeight() const { return transform_.DrawHeight; }

    // Maps the current window onto a pixel rectangle (printing). The window
    // keeps its lower-left corner and is widened on the right or the top
    // to the rectangle's proportion; sizes below 2 pixels count as 2.
    void SetViewport(int offsetX, int offsetY, int width, int height, double pixelSizeMetres = 0);

    // ---- zoom and pan
    // A proper window (X1 < X2, Y1 < Y2) becomes the view window, fitted to
    // the control, with a history entry and a redraw; a point window
    // centres the view on it; anything else does nothing.
    // Zooms stay in the range the view can show: a window that would show
    // closer than scale 1 is grown about its centre to scale 1 (nothing
    // happens when the view is there already, or below it with a window
    // read from a file), and one whose corners or extent are beyond the
    // numbers (too far out) is not taken.
    virtual void ZoomWindow(double X1, double Y1, double X2, double Y2);
    // Moves the window by (DX, DY); nothing when the moved window keeps no
    // extent (so far away that rounding joins its sides).
    virtual void Pan(double DX, double DY);
    // The object's box (a box without extent centres the view on it).
    void ZoomToObject(const TVisualObject& object);
    // Pans by the object's box centre minus the window's centre.
    void CenterOnObject(const TVisualObject& object);
    // The immediate zoom commands; each does nothing when its command is
    // not in Commands.
    virtual void ZoomAll();
    virtual void ZoomExtents();
    virtual void ZoomSelected();
    virtual void ZoomActiveLayer();
    // The last window of the history, taken off it; with an empty history
    // raises EEngineError and the window stays.
    virtual void ZoomPrevious();
    // Tool commands: make the command the current one.
    virtual void ZoomWindowTool();
    virtual void ZoomInTool();
    virtual void ZoomOutTool();
    virtual void PanTool();
    void SelectTool();
    void IdentifyTool();
    // Runs a command: the zoom commands at once, the others become the
    // current command. A command not in Commands is ignored.
    virtual void ExecuteCommand(TDrawingCommand command);
    TDrawingCommand GetCommand() const { return command_; }
    TDrawingCommands Commands() const { return commands_; }
    // A set without dcSelect is ignored.
    void SetCommands(TDrawingCommands v);
    // The current tool's step in its click protocol (see TEditMode).
    TEditMode EditMode() const;
    TEntityType GetEntityType() const;

    // Windows remembered by zooms, oldest first: left, bottom, right, top.
    // A zoom remembers the window it leaves only when that window was shown
    // on the screen with a map in it (the view active or holding layers),
    // so every entry is a view the user saw.
    const std::vector<std::array<double, 4>>& ZoomHistory() const { return zoomStack_; }

    // ---- pointer
    double GetCursorX() const { return cursorX_; }
    double GetCursorY() const { return cursorY_; }
    double CursorZ() const { return cursorZ_; }
    void SetCursorPosition(double x, double y, double z = 0) { cursorX_ = x; cursorY_ = y; cursorZ_ = z; }
    // Shows screen cursor number n of the engine's cursor table (the arrow
    // when that number has no image).
    void SetToolCursor(int number);

    TDrawingState State() const { return state_; }
    // dwsEdit asks the active layer to edit and falls back to dwsBrowse
    // when there is none or it refuses; dwsBrowse ends its edit.
    void SetState(TDrawingState value);
    TDigitizer Digitizer() const;
    // digTablet opens the tablet (Tablet()) and stays digMouse when it
    // reports IOError; digMouse closes it; digKeyboard changes nothing.
    void SetDigitizer(TDigitizer v);

    // ---- drawing
    // Renders the picture into the off-screen image (background, then
    // DrawLayers of every layer), fires AfterRedraw and schedules a repaint.
    virtual void Redraw();
    // The layer list draws the layers from index last down to index first
    // (so the lower index ends on top) onto the off-screen image, over what
    // it holds; then the grid dots. Indices outside the list are left out.
    virtual void DrawLayers(int first, int last);
    // Grid dots of the current window onto a painter (used by Redraw).
    void DrawGrid(QPainter& painter) const;
    // The picture last made by Redraw (what "save as image" saves).
    const QImage& Image() const { return image_; }
    // A context on the off-screen image with the current transform, for
    // drawing single objects between redraws (a repaint is scheduled). It
    // stays valid until the next Redraw, zoom or resize.
    TDrawContext* DrawContext();
    // Draws the content through the current transform onto another painter
    // (printer page, saved image); the painter's device is the draw area
    // set by SetViewport.
    void DrawContentTo(QPainter& painter);
    // The same with one layer alone (a saved image of that layer).
    void DrawLayerTo(QPainter& painter, TLayer& layer);
    // Draws the layers (the last first) onto another device through a
    // transform of its own, e.g. the view's window on a printed page. The
    // view's own transform, window, scale and picture stay as they are, and
    // nothing else runs meanwhile (no events are processed). While it
    // draws, layers that keep a scale range see scale (when > 0), and
    // texts take their size in points at the device's resolution.
    void DrawLayersTo(QPainter& painter, const TViewTransform& transform, QSize drawSize, double scale);
    // The scale the layers being drawn are shown at: the one given to
    // DrawLayersTo while it runs, else Scale.
    double DrawingScale() const { return drawingScale_ > 0 ? drawingScale_ : scale_; }

    // Transient marks, in pixels of the control, drawn over the picture by
    // paintEvent with an inverting pen so they show on any background
    // (black shows as black on white, a colour as itself).
    void SetRubberBand(const QPainterPath& pixels, const QPen& pen = QPen(Qt::black));
    // Several marks, each with its own pen; an empty list clears them.
    void SetRubberBands(std::vector<std::pair<QPainterPath, QPen>> bands);
    void ClearRubberBand();
    bool HasRubberBand() const { return !rubber_.empty(); }
    // Shows a highlighted outline for the given time, then removes it; the
    // interface never waits for it.
    void Flash(const QPainterPath& pixels, int milliseconds = 300);
    // The same with a picture (transparent where nothing shows) laid over
    // the view.
    void Flash(const QImage& overlay, int milliseconds = 300);
    int FlashCount() const { return static_cast<int>(flashes_.size()); }

    // ---- the drawing file
    // The file's path: JoinPath(DatabaseName, DrawingName).
    QString DrawingPath() const;
    bool Active() const { return active_; }
    // True opens the drawing (Open), False closes it (Close); then Redraw.
    // Setting the current value does nothing. A failed open leaves Active
    // False and passes the error on.
    void SetActive(bool value);
    // Whether this view has read or created its drawing file.
    bool HasFile() const { return hasFile_; }
    // BeforeOpen, InternalOpen, AfterOpen. When the file cannot be read,
    // OnError gets the message, AfterOpen does not fire and the error is
    // raised again; the view keeps what it held before.
    void Open();
    // BeforeClose, InternalClose, AfterClose.
    void Close();
    // Reads the drawing file when the view is not active.
    virtual void InternalOpen();
    // Ends editing (FinishEdit while State is dwsEdit) and closes every
    // layer, index 0 first; the layers stay listed.
    virtual void InternalClose();
    // Writes a new drawing file when the view has none and is not active.
    // An existing file is not replaced unless overwrite is set: EFileError
    // ("File \"<path>\" already exists") otherwise.
    virtual void CreateDrawing(bool overwrite = false);
    // Writes the drawing file (atomically).
    virtual void SaveDrawing();
    virtual void FinishEdit() {}
    // Reads the whole file, then the drawing from it. Raises EFileError
    // when it cannot be opened, EReadError when it ends early, EFormatError
    // for stored values that no writer produces.
    void LoadFromFile(const QString& fileName);
    // Writes beside the target and renames over it; raises EFileError.
    void SaveToFile(const QString& fileName);
    // The drawing from a stream: nothing of the view changes unless the
    // whole drawing is read.
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);

    // ---- DXF exchange (release 12, "AC1009")
    // The entities of the wanted DXF layers (names compared without regard
    // to case) go to the view's layer of that Caption, or to a new plain
    // layer whose file is offered to OnGetDXFLayer; progress goes to
    // OnProgress. A damaged file raises and changes nothing. The entities
    // of wanted layers that were passed over are counted in one message to
    // OnError after the import.
    virtual void ImportDXF(const QString& fileName, const QStringList& layerNames);
    // Every layer into one new file; an existing file raises EFileError.
    // Progress (layers done, layer count) goes to OnProgress.
    virtual void ExportDXF(const QString& fileName);

    // ---- events
    TNotifyEvent OnResize, OnPacket, BeforeZoom, AfterZoom, AfterRedraw, BeforeOpen, AfterOpen,
        BeforeClose, AfterClose;
    TMeasureEvent OnMeasure;
    TVisualObjectIdentifyEvent OnVisualObjectIdentify;
    TGetFileNameEvent OnGetDXFLayer;
    TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;
    TNotifyEvent OnClick, OnDblClick;

    // ---- mouse tools, keyboard point entry and the tablet (DrawingTools.h)
    TDrawingTools& Tools() const { return *tools_; }
    TTablet& Tablet() const;
    void SetEntityType(TEntityType value);
    // Keyboard point entry: mode 0 cartesian, 1 polar (distance in
    // DistanceUnits, angle in AngleUnits); then a click there.
    void EnterPoint(bool relativeX, bool relativeY, double value1, double value2, int mode);
    // While a pan drag runs, the picture is shown moved by this offset.
    void SetImageOffset(const QPoint& offset);
    TProgressCountEvent OnProgress;
    TErrorEvent OnError;

    // ---- what the layers ask of their view
    TDrawContext* HostDrawContext() override { return DrawContext(); }
    // Schedules one Redraw for the next turn of the event loop (none when a
    // Redraw comes first).
    void RedrawRequested() override;
    void FlashObject(TLayer& layer, TVisualObject& object, int milliseconds) override;
    // Passed on to OnError.
    void LayerOpenFailed(TLayer& layer, const QString& message) override;
    QString ReferringFileName() const override;
    TDrawContextMaker LayerContextMaker() const override;
    // Draws the grid over the finished picture and repaints.
    void LayersComposed(bool finished) override;
    // Passed on to OnError.
    void RedrawFailed(const QString& message) override;

protected:
    // The layer list of a new view (a descendant puts its own in place with
    // SetLayers from its constructor).
    void SetLayers(std::unique_ptr<TLayers> layers);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // Refits the window into the new size from its lower-left corner, as a
    // zoom (a history entry and a redraw). The window refitted is the one
    // last set by a zoom, a pan or a scale (or read from the drawing file),
    // not one that an earlier resize made of it, so a size changed and
    // given back shows the same view again. An area under 2 pixels either
    // way changes nothing. Then OnResize.
    virtual void DoResize();
    virtual void DoBeforeZoom();
    virtual void DoAfterZoom();
    virtual void DoAfterRedraw();
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoGetDXFLayer(QString& fileName);
    virtual void DoVisualObjectIdentify(TVisualObject& object);
    virtual void DoMeasure(double measure);
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;
    virtual void DoProgress(int position, int maximum);
    virtual void DoError(const QString& message);
    // The guard of the values the layers read: the layer list's redraw.
    void StopRedraw() override;
    bool RedrawStopped() const override;

    // Paints the view's content (layers) through a draw context with the
    // current transform; the base draws nothing.
    virtual void DrawContent(TDrawContext& dc);
    // A context over a painter with the view's transform and tolerances.
    TViewDrawContext MakeContext(QPainter& painter) const;
    TViewDrawContext MakeContext(QPainter& painter, const TViewTransform& transform, QSize drawSize) const;
    // The boxes the immediate zooms go to; false when there is none.
    virtual bool ContentExtent(TVertex& lower, TVertex& upper) const;
    virtual bool ActiveLayerExtent(TVertex& lower, TVertex& upper) const;
    virtual bool SelectionExtent(TVertex& lower, TVertex& upper) const;

    // The coordinate-system block that a coordinate-aware view puts in
    // front of the body. ReadPrefix reads it and returns what to apply once
    // the whole file has been read (nothing for the plain view).
    virtual std::function<void()> ReadPrefix(TStream& stream);
    virtual void WritePrefix(TStream& stream);
    // The layers section and the active layer's index in it.
    void WriteLayersSection(TStream& stream);
    std::function<void()> ReadLayersSection(TStream& stream);
    std::int32_t ActiveLayerIndex() const;
    void SetActiveLayerIndexFromFile(std::int32_t index);
    void CloseLayers();
    // The drawing file being read or written (layer files are found
    // relative to it).
    QString loadingFile_, savingFile_;
    // Frees the layers of a section that was read when the rest of the
    // file then fails.
    std::function<void()> pendingLayerRollback_;

    // Stored state, kept protected for the drawing file and descendants.
    QString databaseName_, drawingName_, title_, author_, organization_;
    TVertex lowerLimit_{0, 0, 0}, upperLimit_{100, 100, 0};
    TVertex viewMin_{0, 0, 0}, viewMax_{100, 100, 0};
    int snapTolerance_ = 5;
    double snapX_ = 0, snapY_ = 0, snapAngle_ = 0;
    bool snapEnabled_ = false;
    double gridX_ = 0, gridY_ = 0;
    bool gridEnabled_ = false;
    bool ortho_ = false;
    TCoordinateUnit coordinateUnits_ = cuLocal;
    TDistanceUnit distanceUnits_ = duMeter;
    TAngleUnit angleUnits_ = auDecimalDegrees;
    int distancePrecision_ = 0, anglePrecision_ = 0;
    int redrawTolerance_ = 3;
    bool dotAid_ = false;
    bool separatedDrawThread_ = false;
    TDrawn<double> scale_{0.0};
    double cursorX_ = 0, cursorY_ = 0, cursorZ_ = 0;
    TDrawingCommands commands_ = kDefaultCommands;
    TDrawingCommand command_ = dcDraw;
    TDrawingState state_ = dwsBrowse;
    TColor color_ = clWhite;
    TVertex measureFrom_{0, 0, 0}, measureTo_{0, 0, 0};
    // The stored keys of the four points of the drawing file (limits and
    // window corners), written back as read.
    std::array<std::int64_t, 4> pointKeys_{};
    bool active_ = false;
    bool hasFile_ = false;

private:
    // What the tools see of the view (Drawing.cpp).
    class TToolBridge;
    std::unique_ptr<TToolBridge> toolBridge_;
    // Made before the layers' use and freed before them (it keeps indexes
    // and change links on layers).
    std::unique_ptr<TDrawingTools> tools_;
    QPoint imageOffset_;
    void PushZoomHistory();
    // Brings a proper window into the zoom range (ZoomWindow); false when
    // the zoom is not taken.
    bool KeepInZoomRange(double& X1, double& Y1, double& X2, double& Y2) const;
    void EndCanvas();
    std::unique_ptr<QPainter> canvasPainter_;
    std::unique_ptr<TViewDrawContext> canvas_;
    int ControlWidth() const;
    int ControlHeight() const;

    TViewTransform transform_;
    TDrawn<double> drawingScale_{0.0};
    int drawWidth_ = 1;
    std::vector<std::array<double, 4>> zoomStack_;
    // The window last asked for (not by a resize), and the window it was
    // fitted to; a resize refits the first while the view still shows the
    // second.
    std::array<double, 4> userWindow_{}, fittedWindow_{};
    bool haveUserWindow_ = false, resizing_ = false;
    // The picture holds the current window; it was painted on the screen
    // with a map in it.
    bool pictureCurrent_ = false, windowSeen_ = false;
    std::array<double, 4> Window() const { return {GetViewLeft(), GetViewBottom(), GetViewRight(), GetViewTop()}; }
    QImage image_;
    std::vector<std::pair<QPainterPath, QPen>> rubber_;
    std::unique_ptr<TLayers> layers_;
    TLayer* activeLayer_ = nullptr;
    bool redrawPending_ = false;
    struct TFlash {
        QPainterPath path;
        QImage overlay;
        std::uint64_t id;
    };
    std::vector<TFlash> flashes_;
    std::uint64_t nextFlashId_ = 1;
};
