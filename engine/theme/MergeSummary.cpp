#include "engine/theme/MergeSummary.h"

#include <unordered_set>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "core/Paths.h"
#include "engine/objects/PolyLine.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"

namespace {

// A group value as text (null apart from every text).
QString GroupKey(const TField& f, const TDbValue& v) {
    return v.IsNull() ? QStringLiteral("\x01") : QStringLiteral("=") + f.TextOf(v);
}

// The layer the summary writes: a theme layer whose merged shapes take the
// place of the first shape of their group without a record of their own.
class TSummaryLayer : public TThemeLayer {
public:
    using TThemeLayer::TThemeLayer;
    using TLayer::Withdraw;
    int AddWithoutRecord(std::unique_ptr<TVisualObject> object) { return TLayer::Add(std::move(object)); }
};

// The source's objects by group, each group's in table order, and the ones
// that count (with the source's Selection, only the selected).
struct TGroupMembers {
    QHash<QString, std::vector<TVisualObject*>> Members;
    std::unordered_set<const TVisualObject*> Counted;
};

// The summary's rows, one a group: the group field's name in the source,
// the summary's field names and the query holding the rows.
struct TGroups {
    QString Field;
    QStringList Names;
    std::unique_ptr<TQuery> Rows;
};

// The result layer, made here and freed when done: only its files stay.
// It is not put in the view's list.
std::unique_ptr<TSummaryLayer> MakeResultLayer(const TThemeLayer& layer, const QString& database,
                                               const QString& table) {
    auto result = std::make_unique<TSummaryLayer>(nullptr);
    result->SetThemeLayerType(layer.ThemeLayerType());
    result->SetDatabaseName(database);
    // Beside its table, never in the table's own file.
    result->SetLayerName(ChangeFileExt(ExtractFileName(table), QStringLiteral(".cam")));
    result->SetTableDatabaseName(database);
    result->SetTableName(table);
    return result;
}

// Runs the summary's query; refuses a summary that names a field "ID" and a
// table or layer file that exists already.
TGroups OpenGroups(TLayerTable& source, QStringList& lines, const QString& groupField, TSummaryLayer& result,
                   const QString& database, const QString& table) {
    TGroups groups;
    groups.Field = source.OpenSummary(lines, groupField, result.Table()->FieldDefs(), groups.Names, groups.Rows);
    if (groups.Names.contains(QStringLiteral("ID"), Qt::CaseInsensitive))
        throw EDatabaseError(QStringLiteral("Campo repetido no resumo: ID"));
    TGISDataSet::RefuseExistingTable(database, table);
    const QString layerFile = result.ResolvedFileName();
    if (QFileInfo::exists(layerFile)) throw EDatabaseError(QStringLiteral("O arquivo já existe: ") + layerFile);
    return groups;
}

TGroupMembers GroupMembers(const TThemeLayer& layer, TLayerTable& source, const QString& group) {
    TField* gf = source.FindField(group);
    TField* idf = source.FindField(QStringLiteral("ID"));
    if (gf == nullptr || idf == nullptr) throw EDatabaseError(QStringLiteral("Campo inexistente: ") + group);
    TGroupMembers m;
    std::unordered_set<const TVisualObject*> selected;
    for (TVisualObject* o : layer.GetSelection()) selected.insert(o);
    for (int r = 0; r < source.RecordCount(); ++r) {
        const TDbValue& id = source.RecordValue(r, idf->Index());
        TVisualObject* o = id.IsNull() ? nullptr : layer.FindObject(idf->TextOf(id));
        if (o == nullptr) continue;
        m.Members[GroupKey(*gf, source.RecordValue(r, gf->Index()))].push_back(o);
        if (!source.Selection() || selected.contains(o)) m.Counted.insert(o);
    }
    return m;
}

// The first counted object gives the group's shape; when none counts, the
// first one (the group still has its record, COUNT 0).
TVisualObject* FirstCounted(const std::vector<TVisualObject*>& objs, const TGroupMembers& m) {
    for (TVisualObject* o : objs)
        if (m.Counted.contains(o)) return o;
    return objs.front();
}

// The summary's row g into the record of the shape with that Id.
void WriteGroupRecord(TLayerTable& rt, const TGroups& groups, int g, const QString& id) {
    if (!rt.Locate(QStringLiteral("ID"), id)) throw EDatabaseError(QStringLiteral("Registro do resumo perdido: ") + id);
    rt.Edit();
    for (int c = 0; c < groups.Names.size(); ++c) {
        const TDbValue& v = groups.Rows->RecordValue(g, c);
        TField* f = rt.FieldByName(groups.Names[c]);
        if (v.IsNull())
            f->Clear();
        else if (v.Kind == TDbValue::vInt)
            f->SetAsLargeInt(v.I);
        else if (v.Kind == TDbValue::vFloat)
            f->SetAsFloat(v.D);
        else
            f->SetAsString(groups.Rows->Fields(c)->TextOf(v));
    }
    rt.Post();
}

// Merges the group's other counted objects into its shape: polygons of an
// area layer are united, lines take the others' contours, other shapes
// refer to them.
void MergeMembers(TSummaryLayer& result, int layerType, TVisualObject* current, const TVisualObject* first,
                  const std::vector<TVisualObject*>& objs, const TGroupMembers& m) {
    for (TVisualObject* o : objs) {
        if (o == first || !m.Counted.contains(o)) continue;
        auto* cp = dynamic_cast<TPolygon*>(current);
        auto* op = dynamic_cast<TPolygon*>(o);
        if (layerType == 2 && cp && op) {
            // The union takes the place and the Id of the shape it replaces,
            // which leaves the layer's lists before it is freed.
            std::unique_ptr<TPolygon> combined = cp->Combine(*op);
            const QString id = cp->Id();
            const std::unique_ptr<TVisualObject> old = result.Withdraw(cp);
            combined->SetId(id);
            current = combined.get();
            if (result.AddWithoutRecord(std::move(combined)) < 0)
                throw EDatabaseError(QStringLiteral("União não aceita pelo resumo"));
        } else if (auto* cl = dynamic_cast<TPolyLine*>(current); cl && !cp && dynamic_cast<const TPolyLine*>(o)) {
            cl->AddContoursOf(*static_cast<const TPolyLine*>(o));
        } else if (auto* ds = dynamic_cast<TDrawingShape*>(current)) {
            ds->AddShape(o);  // refers only; the source layer keeps it
        }
    }
}

// One shape a group, with the group's record.
void WriteGroups(TSummaryLayer& result, int layerType, const TGroups& groups, const TGroupMembers& m) {
    for (int g = 0; g < groups.Rows->RecordCount(); ++g) {
        const auto it = m.Members.constFind(GroupKey(*groups.Rows->Fields(0), groups.Rows->RecordValue(g, 0)));
        if (it == m.Members.constEnd()) continue;  // no record of the group has an object
        const std::vector<TVisualObject*>& objs = *it;
        const TVisualObject* first = FirstCounted(objs, m);
        std::unique_ptr<TVisualObject> clone = first->Clone();
        if (!clone) continue;
        TVisualObject* current = clone.get();
        result.Add(std::move(clone));
        WriteGroupRecord(*result.Table(), groups, g, current->Id());
        MergeMembers(result, layerType, current, first, objs, m);
    }
}

// Opens the new layer file for editing.
void OpenForEdit(TSummaryLayer& result, const QString& layerFile) {
    QString failure;
    result.OnError = [&](TLayer&, const QString& m) { failure = m; };
    result.Open();
    if (!result.Active()) throw EDatabaseError(failure);
    result.Edit();
    if (result.State() != lsEdit) throw EDatabaseError(QStringLiteral("O resumo não pode ser editado: ") + layerFile);
}

// After a failure: the layer closed, and the files made removed.
void RemoveResult(TSummaryLayer& result, bool made, const QString& layerFile) {
    try {
        result.Close();
    } catch (...) {
    }
    if (!made) return;
    QFile::remove(layerFile);
    try {
        result.Table()->DeleteTable();
    } catch (...) {
    }
}

}  // namespace

void MergeSummary(const TThemeLayer& layer, TLayerTable& source, const QString& database, const QString& table,
                  QStringList& lines, const QString& groupField) {
    const std::unique_ptr<TSummaryLayer> result = MakeResultLayer(layer, database, table);
    const TGroups groups = OpenGroups(source, lines, groupField, *result, database, table);
    const QString layerFile = result->ResolvedFileName();
    const TGroupMembers members = GroupMembers(layer, source, groups.Field);
    bool made = false;
    try {
        result->CreateLayerFile();
        made = true;
        OpenForEdit(*result, layerFile);
        WriteGroups(*result, layer.ThemeLayerType(), groups, members);
        result->InvalidateBounds();
        result->InternalPost();
        result->EndEdit();
        result->Close();
    } catch (...) {
        RemoveResult(*result, made, layerFile);
        throw;
    }
}
