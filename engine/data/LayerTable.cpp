#include "engine/data/LayerTable.h"

#include "engine/layers/Layer.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/VisualObject.h"
#include "platform/db/Session.h"

namespace {

const char* const kGeometryFields[] = {"Z", "LENGTH", "AREA", "PERIMETER"};

}  // namespace

TLayerTable::TLayerTable(TLayer* owner) : layer_(owner) {
    SetName(QStringLiteral("AttributeTable"));
    FieldDefs().Add(QStringLiteral("ID"), ftString, 20, false);
}

TLayerTable::~TLayerTable() {
    try {
        Close();
    } catch (...) {
    }
}

bool TLayerTable::IsGeometryFieldName(const QString& upperName) {
    for (const char* n : kGeometryFields)
        if (upperName == QLatin1StringView(n)) return true;
    return false;
}

void TLayerTable::SetTableName(const QString& name) {
    if (layerFileCreated_ || (layer_ && layer_->FileCreated())) return;
    TGISTable::SetTableName(name);
}

void TLayerTable::OpenLinkedTables() {
    TGISTable::OpenLinkedTables();
    geometryFieldsPresent_ = false;
    for (const TFieldDef& d : BaseTable()->FieldDefs().Items())
        if (IsGeometryFieldName(d.Name.toUpper())) geometryFieldsPresent_ = true;
}

void TLayerTable::SetupAfterOpen() {
    if (!layer_) return;
    layer_->SetVisible(false);
    for (TVisualObject* o : layer_->GetObjects()) o->SetEnabled(false);
    TField* id = FindField(QStringLiteral("ID"));
    if (id) {
        DisableControls();
        // Straight over the loaded rows: the cursor does not move.
        const int n = RecordCount();
        const int col = id->Index();
        for (int r = 0; r < n; ++r) {
            const TDbValue& v = RecordValue(r, col);
            if (v.IsNull()) continue;
            if (TVisualObject* o = layer_->FindObject(id->TextOf(v))) o->SetEnabled(true);
        }
        EnableControls();
    }
    layer_->SetVisible(true);
}

TVisualObject* TLayerTable::CurrentObject() const {
    if (!layer_ || !Active()) return nullptr;
    TField* id = FindField(QStringLiteral("ID"));
    if (!id || id->IsNull()) return nullptr;
    return layer_->FindObject(id->AsString());
}

void TLayerTable::UpdateGeometryFields() {
    if (!geometryFieldsPresent_) return;
    TVisualObject* o = CurrentObject();
    if (!o) return;
    if (TField* f = FindField(QStringLiteral("Z"))) f->SetAsFloat((o->LowerZ() + o->UpperZ()) / 2);
    if (auto* pl = dynamic_cast<TPolyLine*>(o)) {
        if (TField* f = FindField(QStringLiteral("LENGTH"))) f->SetAsFloat(pl->Length());
    }
    if (auto* pg = dynamic_cast<TPolygon*>(o)) {
        if (TField* f = FindField(QStringLiteral("AREA"))) f->SetAsFloat(pg->Area());
        if (TField* f = FindField(QStringLiteral("PERIMETER"))) f->SetAsFloat(pg->Length());
    }
}

void TLayerTable::DoBeforePost() {
    TGISTable::DoBeforePost();
    BeforePostUpdate();
}

void TLayerTable::FillGeometryFieldsOfAll() {
    const TBookmark b = GetBookmark();
    DisableControls();
    for (First(); !Eof(); Next()) {
        Edit();
        UpdateGeometryFields();
        Post();
    }
    if (CachedUpdates()) {
        ApplyUpdates();
        CommitUpdates();
    }
    if (b && BookmarkValid(b)) GotoBookmark(b);
    EnableControls();
}

void TLayerTable::AddField(const QString& name, TFieldType type, bool required, int size, int width, int decimals) {
    const QString upper = name.trimmed().toUpper();
    const int before = BaseDefs().Count();
    const bool wasOpen = Active();
    TGISTable::AddField(name, type, required, size, width, decimals);
    const bool added = wasOpen ? BaseDefs().Count() > before : FieldDefs().IndexOf(upper) >= 0;
    // The stored name is upper-cased whatever was asked, so the geometry
    // field is recognised in any letter case.
    if (added && IsGeometryFieldName(upper)) {
        geometryFieldsPresent_ = true;
        if (Active()) FillGeometryFieldsOfAll();
    }
}

void TLayerTable::DeleteField(const QString& name) {
    TGISTable::DeleteField(name);
    const TFieldDefs& defs = Active() ? BaseDefs() : FieldDefs();
    geometryFieldsPresent_ = false;
    for (const TFieldDef& d : defs.Items())
        if (IsGeometryFieldName(d.Name.toUpper())) geometryFieldsPresent_ = true;
}

QString TLayerTable::SummaryFieldName(const QString& name) const { return name.left(10); }

QString TLayerTable::SummaryCountCondition(std::vector<QString>& params) {
    if (!selection_) return QString();
    params.clear();
    if (layer_)
        for (TVisualObject* o : layer_->GetSelection()) params.push_back(o->Id().trimmed());
    if (params.empty()) return QStringLiteral("0");
    // SQLite binds at most 32766 values in one statement.
    if (params.size() > 30000) throw EDatabaseError(QStringLiteral("Seleção grande demais para o resumo"));
    QString in = QStringLiteral("TRIM(layer.\"ID\") IN (");
    for (std::size_t i = 0; i < params.size(); ++i)
        in += (i ? QStringLiteral(", :kzsel") : QStringLiteral(":kzsel")) + QString::number(i);
    return in + u')';
}

void TLayerTable::Summarize(const QString& database, const QString& table, QStringList& summaryLines,
                            const QString& groupField) {
    if (isMerge_) {
        if (!MergeHandler) throw EDatabaseError(QStringLiteral("Resumo com fusão indisponível"));
        MergeHandler(*this, database, table, summaryLines, groupField);
        return;
    }
    TGISTable::Summarize(database, table, summaryLines, groupField);
}

QString TLayerTable::OpenSummary(QStringList& summaryLines, const QString& groupField, TFieldDefs& defs,
                                 QStringList& names, std::unique_ptr<TQuery>& query) {
    const QString group = SummaryDefs(summaryLines, groupField, defs, names);
    std::vector<QString> params;
    const QString countCondition = SummaryCountCondition(params);
    query = SummaryQuery(names, summaryLines, group, countCondition, params);
    return group;
}
