#pragma once
// TThemeLayer: the layer a coordinate-aware view holds. Its objects may be
// in another projection, ellipsoid and datum than the view's; then every
// vertex is converted into the view's system once, the converted copies
// are kept with the layer and drawn until the view's system, the layer's
// own system or its objects change. It carries theme classes and the
// classification settings, and redraws only within its scale range.
//
// Records in step with the objects (while the table is open):
// - Add, Insert and AddObjectWithRecord give the object the next free Id
//   and append its record; when the record cannot be posted the object is
//   taken out again (and freed) and the error is raised, so no
//   object is left without a record.
// - Delete, Remove and Clear delete the objects' records.
// - InternalPost writes the layer file beside the old one, commits the
//   table, and only then puts the new file in place: a file that cannot be
//   written, or records the table refuses, leave both the file and the
//   pending edits of both as they were. InternalCancel undoes both.
// - A layer whose table cannot be modified stays in lsBrowse.
// While the table is closed (a layer built in memory, never opened) the
// objects are taken without records.
//
// Opening reads the layer file, then opens the table and classifies; when
// the table cannot be opened the layer is left empty and inactive and the
// failure goes to OnError (and the host's LayerOpenFailed).
//
// Ownership: the layer owns its theme classes, its parameter object and
// its attribute table (Table, "AttributeTable", cached updates, inactive
// until the layer opens); the converted copies are owned by the layer too.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QVariant>

#include "core/Codes.h"
#include "engine/data/LayerTable.h"
#include "engine/layers/Layer.h"
#include "engine/layers/Layers.h"
#include "engine/symbology/ThemeClasses.h"
#include "engine/theme/CoordinateSystem.h"

class TProjectionParams;

class TThemeLayer : public TLayer {
public:
    explicit TThemeLayer(TLayerHost* owner = nullptr);
    ~TThemeLayer() override;

    QString ClassName() const override { return QStringLiteral("TThemeLayer"); }

    // ---- properties
    // Drawing reads the values it draws with, the scale range and the
    // coordinate system included: they change only once a threaded redraw
    // that paints the layer has stopped.
    double MinScale() const { return minScale_; }
    void SetMinScale(double v) { minScale_.Set(*this, v); }
    double MaxScale() const { return maxScale_; }
    void SetMaxScale(double v) { maxScale_.Set(*this, v); }
    TLegendType LegendType() const { return legendType_; }
    void SetLegendType(TLegendType v);
    std::int32_t ThemeLayerType() const { return themeLayerType_; }
    void SetThemeLayerType(std::int32_t v) { themeLayerType_ = v; }
    TThemeClasses* ThemeClasses() const { return themeClasses_.get(); }
    // Reset to 0 when it is not below the number of table fields (while
    // the table is open).
    std::int32_t ClassificationFieldIndex() const;
    void SetClassificationFieldIndex(std::int32_t v);
    std::int32_t NormalizationFieldIndex() const;
    // Stored only for a field of the open table when both it and the
    // classified field are numeric; otherwise ignored.
    void SetNormalizationFieldIndex(std::int32_t v);
    bool Classified() const { return classified_; }
    // Stores the value and classifies every object that has a record
    // (False gives them the layer's Defaults). Nothing is redrawn.
    void SetClassified(bool v);
    // Gives each object with a record the class its value falls into; an
    // object whose value matches no class (an empty list included), or is
    // empty, gets the layer's Defaults. A record whose class bound does not
    // convert, or whose normalization divides by zero, leaves its object
    // as it was. The table's cursor is put back where it was.
    void Classify();
    // Classifies one object from the table's current record; errors
    // (bounds that do not convert, division by zero) are raised.
    void ClassifyObject(TVisualObject* object);
    bool Normalized() const { return normalized_; }
    // Stored only together with a normalization field.
    void SetNormalized(bool v) { normalized_ = v && normalizationFieldIndex_ != -1; }
    std::int32_t NextId() const { return nextId_; }

    // The attribute table: its records are tied to the objects by "ID".
    TLayerTable* Table() const { return table_.get(); }
    // The attribute table's place, stored in the layer file prefix (the
    // table's TableDatabase and TableName; the name is set through the
    // table's setter, so only while it is closed and the layer file has
    // not been made).
    const QString& TableDatabaseName() const { return table_->TableDatabase(); }
    void SetTableDatabaseName(const QString& v) { table_->SetTableDatabase(v); }
    const QString& TableName() const { return table_->TableName(); }
    void SetTableName(const QString& v) { table_->SetTableName(v); }

    std::int32_t Ellipsoid() const { return ellipsoid_; }
    void SetEllipsoid(std::int32_t v) { ellipsoid_.Set(*this, v); }
    std::int32_t Datum() const { return datum_; }
    void SetDatum(std::int32_t v) { datum_.Set(*this, v); }
    std::int32_t Projection() const { return projection_; }
    // Replaces the parameter object and sets CoordinateUnits: -1 local (no
    // parameters), 0 geographic, 1 UTM with its defaults; another value is
    // stored without parameters and keeps the units.
    void SetProjection(std::int32_t v);
    const TProjectionParams* ProjectionParams() const { return projectionParams_.Get().get(); }
    // Copies params into the layer's parameter object (nothing when the
    // layer has none); parameters of another class raise ECoordinateError.
    void SetProjectionParams(const TProjectionParams& params);
    TCoordinateSystem CoordinateSystem() const;
    // Why the stored system cannot be used with the catalogue in force (a
    // projection other than -1, 0 and 1, an ellipsoid or datum beyond the
    // catalogue), in words; empty when it can. Such a layer still opens,
    // keeps the values and writes them back; opening reports the problem
    // through OnError.
    QString CoordinateSystemProblem() const;

    // The view's scale falls within [MinScale, MaxScale] (MaxScale 0: no
    // upper limit, scale above 0).
    bool InScaleRange(double scale) const;

    // ---- edits: an added object gets the next Id (20 hex digits)
    // An object comes with its record (required fields "?", 0 or False);
    // when the record cannot be posted the object is not added (and freed)
    // and the error raised. A restored object gets a new Id and record.
    int Add(std::unique_ptr<TVisualObject> object) override;
    int Insert(int index, std::unique_ptr<TVisualObject> object) override;
    int Restore(TVisualObject* object) override;
    void Delete(int index) override;
    int Remove(TVisualObject* object) override;
    void Clear() override;
    // Adds the object with a record whose fields, in field order, are its
    // Id and then the values. -1 in browse state. Raises EDatabaseError
    // (the object not added, and freed) when the table is closed or the
    // record cannot be posted.
    int AddObjectWithRecord(std::unique_ptr<TVisualObject> object, const QVariantList& values);
    bool HasPendingEdits() const override;

    // ---- lifecycle
    // Creates the table, then the layer file (a new layer: no file made or
    // read yet, inactive). Errors are raised.
    void CreateLayerFile() override;
    void InternalOpen() override;
    void InternalClose() override;
    void InternalCancel() override;

    // ---- drawing and reprojection
    void Draw(TDrawContext* dc) override;
    void Redraw() override;
    QPoint WorldToScreen(double x, double y) const override;
    QPointF ScreenToWorld(int x, int y) const override;
    // Vertices converted since the layer was made (for checking that a
    // redraw in the same system converts nothing).
    std::uint64_t ConvertedVertexCount() const { return convertedVertices_; }

    // ---- files
    void WriteObjects(TStream& stream) const override;
    void ReadObjects(TStream& stream) override;
    void WriteHeader(TStream& stream) const override;
    void ReadHeader(TStream& stream) override;
    void WriteStyle(TStream& stream) const override;
    void ReadStyle(TStream& stream) override;
    // The first int32 of a layer file: its ThemeLayerType. Raises
    // EFileError / EReadError.
    static std::int32_t FileThemeLayerType(const QString& fileName);

protected:
    void SetStateValue(TLayerState value) override;
    // The table's pending updates, applied and committed.
    void BeforeFileReplaced() override;
    void DrawObjects(TDrawContext& dc) override;
    // The number of fields of the open attribute table; -1 while it is
    // closed (then stored indices are kept as they are).
    virtual int TableFieldCount() const;

private:
    // Refuses (EFormatError) a layer file prefix whose values no writer
    // produces: a negative type, ellipsoid or datum, a UTM zone outside
    // 0..60, a scale factor that is not positive, a false origin or central
    // meridian that is not a number.
    static void CheckPrefix(std::int32_t type, const TProjectionParams* params, std::int32_t ellipsoid, std::int32_t datum);
    const TCoordinateSystemHost* Host() const;
    bool Reprojects(TCoordinateSystem& view) const;
    void NextObjectId(TVisualObject& object);
    // ClassifyObject with the total of the classified field, when the
    // layer normalizes by percent.
    void ClassifyWith(TVisualObject* object, const std::optional<double>& total);
    double ClassifiedFieldTotal() const;
    // Appends and posts the record of an object just added; on failure
    // takes the object out again and raises.
    void AppendRecordOf(TVisualObject& object, const QVariantList* values);
    // Deletes the record whose "ID" is the object's Id, when there is one.
    void DeleteRecordOf(const TVisualObject& object);
    // Legend type, classification index, flags, normalization index and
    // the classes, as read (checked, not yet stored).
    struct TClassificationFields {
        TLegendType Legend = ltValueRange;
        std::int32_t Field = 0;
        std::uint8_t Flags = 0;
        std::int32_t Norm = -1;
        std::int64_t ClassesAt = 0, End = 0;
    };
    void WriteClassificationFields(TStream& s) const;
    TClassificationFields ParseClassificationFields(TStream& s) const;
    // Stores what was parsed; the classes are read again from the stream
    // into the layer's own list (listeners keep referring to it).
    void ApplyClassificationFields(const TClassificationFields& f, TStream& s);
    void EnsureProjected(const TCoordinateSystem& view);

    TDrawn<double> minScale_{1.0};
    TDrawn<double> maxScale_{0.0};
    TLegendType legendType_ = ltValueRange;
    std::int32_t themeLayerType_ = 0;
    std::unique_ptr<TThemeClasses> themeClasses_;
    mutable std::int32_t classificationFieldIndex_ = 0;
    mutable std::int32_t normalizationFieldIndex_ = -1;
    bool classified_ = false;
    bool normalized_ = false;
    std::int32_t nextId_ = 1;
    std::unique_ptr<TLayerTable> table_;
    TDrawn<std::int32_t> ellipsoid_{19};
    TDrawn<std::int32_t> datum_{8};
    TDrawn<std::int32_t> projection_{-1};
    TDrawn<std::unique_ptr<TProjectionParams>> projectionParams_;

    // Converted copies of the objects, in list order, and what they were
    // converted for.
    std::vector<std::unique_ptr<TVisualObject>> projected_;
    TCoordinateSystemKey projectedView_, projectedOwn_;
    std::uint64_t projectedRevision_ = ~std::uint64_t(0);
    std::uint64_t convertedVertices_ = 0;
    // Point converters for the view's tools, made once per system pair.
    mutable std::unique_ptr<TReprojection> toView_, fromView_;
    mutable TCoordinateSystemKey pointView_, pointOwn_;
};

// The view's list of theme layers ("THEMELAYERS").
class TThemeLayers : public TLayers {
public:
    explicit TThemeLayers(TLayerHost* drawing = nullptr) : TLayers(drawing) {}
    QString ClassName() const override { return QStringLiteral("TThemeLayers"); }
    TThemeLayer* GetThemeItem(int index) const { return static_cast<TThemeLayer*>(GetItem(index)); }
};

// Registers "TThemeLayer" with the layer class registry (idempotent).
void RegisterThemeLayerClass();
