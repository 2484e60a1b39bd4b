#pragma once
// The attribute table of a thematic layer. Its key field "ID" (string of
// 20) ties each record to the layer's object with the same Id.
//
// - Opening (SetupAfterOpen) shows on the map only the objects of the
//   result: every object is disabled, then the object of each record's ID
//   (found through the layer's Id index) is enabled; a record whose ID
//   names no object is passed over.
// - The geometry fields "Z", "LENGTH", "AREA", "PERIMETER" (any letter
//   case in the request; stored upper-cased) are filled before every post.
// - Summarize counts only selected objects' records with Selection.
//
// The owner layer refers only (the layer owns the table). The owning
// thematic layer tells the table whether its file exists
// (SetLayerFileCreated); from then on SetTableName is ignored.
#include <functional>

#include "engine/data/GISTable.h"

class TLayer;
class TVisualObject;

class TLayerTable : public TGISTable {
public:
    explicit TLayerTable(TLayer* owner = nullptr);
    ~TLayerTable() override;

    QString ClassName() const override { return QStringLiteral("TLayerTable"); }

    TLayer* OwnerLayer() const { return layer_; }
    void SetOwnerLayer(TLayer* layer) { layer_ = layer; }
    // Set by the owning layer once its file has been created or read.
    bool LayerFileCreated() const { return layerFileCreated_; }
    void SetLayerFileCreated(bool v) { layerFileCreated_ = v; }

    bool GeometryFieldsPresent() const { return geometryFieldsPresent_; }
    bool Selection() const { return selection_; }
    void SetSelection(bool v) { selection_ = v; }
    bool IsMerge() const { return isMerge_; }
    void SetIsMerge(bool v) { isMerge_ = v; }

    void SetTableName(const QString& name) override;
    void AddField(const QString& name, TFieldType type, bool required, int size, int width = 0, int decimals = 0) override;
    void DeleteField(const QString& name) override;

    // Fills the geometry fields of the current record (edit or insert).
    void UpdateGeometryFields();
    virtual void BeforePostUpdate() { UpdateGeometryFields(); }

    // As the base summary, with result names cut to 10 characters and
    // Selection honoured. With IsMerge, the merging summary is made by
    // MergeHandler when one is set (the thematic layer provides it);
    // without one it raises EDatabaseError.
    void Summarize(const QString& database, const QString& table, QStringList& summaryLines,
                   const QString& groupField) override;
    std::function<void(TLayerTable&, const QString& database, const QString& table, QStringList& lines,
                       const QString& groupField)>
        MergeHandler;

    // For the merging summary: the grouped summary (Selection honoured) as
    // an open query, with the column names and the definitions of its
    // result fields (appended to defs). The lines are upper-cased in place.
    // Returns the group field's name.
    QString OpenSummary(QStringList& summaryLines, const QString& groupField, TFieldDefs& defs,
                        QStringList& names, std::unique_ptr<TQuery>& query);

    // The object of the current record (by "ID"), or nullptr.
    TVisualObject* CurrentObject() const;

    static bool IsGeometryFieldName(const QString& upperName);

protected:
    QString SummaryFieldName(const QString& name) const override;
    QString SummaryCountCondition(std::vector<QString>& params) override;
    void OpenLinkedTables() override;
    void SetupAfterOpen() override;
    void DoBeforePost() override;

private:
    void FillGeometryFieldsOfAll();
    TLayer* layer_;
    bool layerFileCreated_ = false;
    bool geometryFieldsPresent_ = false;
    bool selection_ = false;
    bool isMerge_ = false;
};
