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

}  // namespace

void MergeSummary(const TThemeLayer& layer, TLayerTable& source, const QString& database, const QString& table,
                  QStringList& lines, const QString& groupField) {
    // The result layer is made here and freed when done: only its files
    // stay. It is not put in the view's list.
    auto result = std::make_unique<TSummaryLayer>(nullptr);
    result->SetThemeLayerType(layer.ThemeLayerType());
    result->SetDatabaseName(database);
    // Beside its table, never in the table's own file.
    result->SetLayerName(ChangeFileExt(ExtractFileName(table), QStringLiteral(".cam")));
    result->SetTableDatabaseName(database);
    result->SetTableName(table);
    TLayerTable& rt = *result->Table();

    QStringList names;
    std::unique_ptr<TQuery> groups;
    const QString group = source.OpenSummary(lines, groupField, rt.FieldDefs(), names, groups);
    if (names.contains(QStringLiteral("ID"), Qt::CaseInsensitive))
        throw EDatabaseError(QStringLiteral("Campo repetido no resumo: ID"));
    TGISDataSet::RefuseExistingTable(database, table);
    const QString layerFile = result->ResolvedFileName();
    if (QFileInfo::exists(layerFile)) throw EDatabaseError(QStringLiteral("O arquivo já existe: ") + layerFile);

    // The source records of each group, in table order.
    TField* gf = source.FindField(group);
    TField* idf = source.FindField(QStringLiteral("ID"));
    if (gf == nullptr || idf == nullptr) throw EDatabaseError(QStringLiteral("Campo inexistente: ") + group);
    QHash<QString, std::vector<TVisualObject*>> members;
    std::unordered_set<const TVisualObject*> selected;
    for (TVisualObject* o : layer.GetSelection()) selected.insert(o);
    std::unordered_set<const TVisualObject*> counted;
    for (int r = 0; r < source.RecordCount(); ++r) {
        const TDbValue& id = source.RecordValue(r, idf->Index());
        TVisualObject* o = id.IsNull() ? nullptr : layer.FindObject(idf->TextOf(id));
        if (o == nullptr) continue;
        members[GroupKey(*gf, source.RecordValue(r, gf->Index()))].push_back(o);
        if (!source.Selection() || selected.contains(o)) counted.insert(o);
    }

    bool made = false;
    try {
        result->CreateLayerFile();
        made = true;
        QString failure;
        result->OnError = [&](TLayer&, const QString& m) { failure = m; };
        result->Open();
        if (!result->Active()) throw EDatabaseError(failure);
        result->Edit();
        if (result->State() != lsEdit) throw EDatabaseError(QStringLiteral("O resumo não pode ser editado: ") + layerFile);
        for (int g = 0; g < groups->RecordCount(); ++g) {
            const auto it = members.constFind(GroupKey(*groups->Fields(0), groups->RecordValue(g, 0)));
            if (it == members.constEnd()) continue;  // no record of the group has an object
            const std::vector<TVisualObject*>& objs = *it;
            // The first counted object gives the shape; when none counts,
            // the first one (the group still has its record, COUNT 0).
            TVisualObject* first = objs.front();
            for (TVisualObject* o : objs)
                if (counted.contains(o)) {
                    first = o;
                    break;
                }
            std::unique_ptr<TVisualObject> clone = first->Clone();
            if (!clone) continue;
            TVisualObject* current = clone.get();
            result->Add(std::move(clone));
            if (!rt.Locate(QStringLiteral("ID"), current->Id()))
                throw EDatabaseError(QStringLiteral("Registro do resumo perdido: ") + current->Id());
            rt.Edit();
            for (int c = 0; c < names.size(); ++c) {
                const TDbValue& v = groups->RecordValue(g, c);
                TField* f = rt.FieldByName(names[c]);
                if (v.IsNull())
                    f->Clear();
                else if (v.Kind == TDbValue::vInt)
                    f->SetAsLargeInt(v.I);
                else if (v.Kind == TDbValue::vFloat)
                    f->SetAsFloat(v.D);
                else
                    f->SetAsString(groups->Fields(c)->TextOf(v));
            }
            rt.Post();
            for (TVisualObject* o : objs) {
                if (o == first || !counted.contains(o)) continue;
                auto* cp = dynamic_cast<TPolygon*>(current);
                auto* op = dynamic_cast<TPolygon*>(o);
                if (layer.ThemeLayerType() == 2 && cp && op) {
                    // The union takes the place and the Id of the shape it
                    // replaces, which leaves the layer's lists before it is
                    // freed.
                    std::unique_ptr<TPolygon> combined = cp->Combine(*op);
                    const QString id = cp->Id();
                    const std::unique_ptr<TVisualObject> old = result->Withdraw(cp);
                    combined->SetId(id);
                    current = combined.get();
                    if (result->AddWithoutRecord(std::move(combined)) < 0)
                        throw EDatabaseError(QStringLiteral("União não aceita pelo resumo"));
                } else if (auto* cl = dynamic_cast<TPolyLine*>(current);
                           cl && !cp && dynamic_cast<const TPolyLine*>(o)) {
                    cl->AddContoursOf(*static_cast<const TPolyLine*>(o));
                } else if (auto* ds = dynamic_cast<TDrawingShape*>(current)) {
                    ds->AddShape(o);  // refers only; the source layer keeps it
                }
            }
        }
        result->InvalidateBounds();
        result->InternalPost();
        result->EndEdit();
        result->Close();
    } catch (...) {
        try {
            result->Close();
        } catch (...) {
        }
        if (made) {
            QFile::remove(layerFile);
            try {
                rt.DeleteTable();
            } catch (...) {
            }
        }
        throw;
    }
}
