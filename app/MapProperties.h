#pragma once
// The map properties dialog ("Propriedades do Mapa"): the view's
// description, author, organisation, bounding rectangle, units, background
// colour, snap and grid aids, measuring precisions and redraw speed, and on
// the page "Geodésia" (shown, not editable) its ellipsoid, datum and
// projection with the UTM parameters.
//
// LoadFromDrawing fills the pages from a view; "OK" runs the close check,
// which converts every text into the result fields below and keeps the
// dialog open, with a message per failing value, until all of them pass.
// ApplyToDrawing then writes the results back to the view.
//
// Texts are numbers as the user writes them (core/UserNumbers.h).
#include <cstdint>
#include <memory>

#include "app/dialogs/PropertiesForm.h"
#include "core/Color.h"
#include "core/Vertex.h"

class QColorDialog;
class TGISDrawing;
class TProjectionParams;
namespace Ui {
class TkoviFormMPPR;
}

class TkoviFormMPPR : public TkoviFormPR {
    Q_OBJECT
public:
    explicit TkoviFormMPPR(QWidget* parent = nullptr);
    ~TkoviFormMPPR() override;

    Ui::TkoviFormMPPR& Form() const { return *ui_; }
    QColorDialog& ColorEscolha() const { return *colorEscolha_; }

    // ---- result fields (LoadFromDrawing fills them where it says; the
    // close check of "OK" rewrites them)
    TGISDrawing* Drawing = nullptr;  // not owned
    QString Description;             // set by the caller before LoadFromDrawing
    QString Author, Organization;
    TVertex LowerLeft, UpperRight;  // (left, bottom), (right, top)
    std::int32_t SnapTolerance = 0;
    double SnapX = 0, SnapY = 0;
    bool SnapEnabled = false;
    double GridX = 0, GridY = 0;
    bool GridEnabled = false;
    std::uint8_t DistanceUnits = 0, AngleUnits = 0;
    std::int32_t DistancePrecision = 0, AnglePrecision = 0;
    TColor Color = clWhite;
    std::int32_t RedrawTolerance = 3;
    std::int32_t Ellipsoid = 0, Datum = 0, Projection = -1;
    // Made by the close check for projections 0 and 1; none for -1.
    std::unique_ptr<TProjectionParams> ProjectionParams;

    // Takes the view's values into the pages (the UTM page from its
    // parameters) and into the fields Ellipsoid, Datum, Projection and the
    // two units.
    void LoadFromDrawing(TGISDrawing* view);
    // Writes the collected values to Drawing: author, organisation, limits,
    // units, colour, snap, grid, precisions and redraw tolerance.
    void ApplyToDrawing() const;
    // The close check of "OK": true when every value passed.
    bool CloseQuery();

    // ---- handlers
    void FormShow();
    void ComboElipsoideChange();
    void ComboProjecaoChange();
    void UTM_ZonaChange();
    void Button5Click();
    void ButtonObterZoomClick();

    // The colour the shape shows.
    TColor ShapeColor() const { return shapeColor_; }
    void SetShapeColor(TColor color);

protected:
    void showEvent(QShowEvent* event) override;
    // Closing with "OK" runs the close check first.
    void done(int result) override;

private:
    std::unique_ptr<Ui::TkoviFormMPPR> ui_;
    QWidget* pages_ = nullptr;  // the layout's holder, emptied into the page control
    QColorDialog* colorEscolha_ = nullptr;
    TColor shapeColor_ = clWhite;
};
