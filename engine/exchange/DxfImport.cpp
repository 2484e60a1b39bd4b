#include "engine/exchange/DxfImport.h"

#include <QFile>
#include <QFileInfo>

#include "core/Errors.h"
#include "core/Paths.h"
#include "engine/data/LayerTable.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/Table.h"

namespace {

// The attribute "LAYER" holds at most this many characters.
constexpr int kLayerFieldSize = 40;

template <typename T>
std::unique_ptr<T> Shape(const TThemeClass& d) {
    auto o = std::make_unique<T>();
    o->SetLineColor(d.LineColor());
    o->SetLineWidth(1);
    return o;
}

std::unique_ptr<TText> MakeText(const TDxfEntity& e, const TThemeClass& d) {
    auto t = std::make_unique<TText>();
    t->SetInsertionPoint(e.First.X, e.First.Y, e.First.Z);
    t->SetTextFont(d.TextFont());
    t->SetRotation(e.Angle1);
    t->SetText(e.Text);
    t->SetLineColor(d.LineColor());
    return t;
}

// A polygon (filled from the defaults) when closed, else a polyline, with
// the entity's vertices as its one contour; nullptr without vertices.
std::unique_ptr<TPolyLine> MakePolyline(TDxfEntity& e, const TThemeClass& d) {
    if (e.Vertices.empty()) return nullptr;
    std::unique_ptr<TPolyLine> p;
    if (e.Closed) {
        auto g = Shape<TPolygon>(d);
        g->SetFillColor(d.FillColor());
        p = std::move(g);
    } else {
        p = Shape<TPolyLine>(d);
    }
    p->AddContour(std::move(e.Vertices));
    return p;
}

std::unique_ptr<TVisualObject> PlainObject(TDxfEntity& e, const TThemeClass& d) {
    switch (e.Kind) {
    case TDxfEntity::dxPoint: {
        auto p = Shape<TPoint>(d);
        p->SetVertex(e.First);
        return p;
    }
    case TDxfEntity::dxText: return MakeText(e, d);
    case TDxfEntity::dxLine: {
        auto l = Shape<TLine>(d);
        l->SetFirst(e.First);
        l->SetSecond(e.Second);
        return l;
    }
    case TDxfEntity::dxPolyline: return MakePolyline(e, d);
    case TDxfEntity::dxArc: {
        auto a = Shape<TArc>(d);
        a->SetCenter(e.First.X, e.First.Y, e.First.Z);
        a->SetRadius(e.Size);
        a->SetStartAngle(e.Angle1);
        a->SetEndAngle(e.Angle2);
        return a;
    }
    case TDxfEntity::dxCircle: {
        auto c = Shape<TCircle>(d);
        c->SetCenter(e.First.X, e.First.Y, e.First.Z);
        c->SetRadius(e.Size);
        c->SetFillColor(d.FillColor());
        return c;
    }
    }
    return nullptr;
}

int ThemeKindOf(const TDxfEntity& e) {
    switch (e.Kind) {
    case TDxfEntity::dxPoint: return dtkPoints;
    case TDxfEntity::dxText: return dtkTexts;
    case TDxfEntity::dxLine: return dtkLines;
    case TDxfEntity::dxPolyline: return e.Closed ? dtkAreas : dtkLines;
    default: return -1;
    }
}

// The object of a theme import, and the elevation of its record.
std::unique_ptr<TVisualObject> ThemeObject(TDxfEntity& e, const TThemeClass& d, double& z) {
    switch (e.Kind) {
    case TDxfEntity::dxPoint: {
        auto p = Shape<TPoint>(d);
        p->SetVertex(e.First);
        p->SetPointStyle(psPoint);
        z = e.First.Z;
        return p;
    }
    case TDxfEntity::dxText: z = e.First.Z; return MakeText(e, d);
    case TDxfEntity::dxLine: {
        auto p = Shape<TPolyLine>(d);
        p->AddContour(std::vector<TVertex>{e.First, e.Second});
        z = e.Second.Z;
        return p;
    }
    case TDxfEntity::dxPolyline: {
        if (e.Vertices.empty()) return nullptr;
        z = e.Vertices.back().Z;
        // An area's ring ends where it starts.
        const TVertex first = e.Vertices.front();
        if (e.Closed && (first.X != e.Vertices.back().X || first.Y != e.Vertices.back().Y)) e.Vertices.push_back(first);
        return MakePolyline(e, d);
    }
    default: return nullptr;
    }
}

void Report(const TDxfProgress& progress, std::int64_t position, std::int64_t size) {
    if (!progress) return;
    int current = 0, total = 0;
    DxfProgressScale(position, size, current, total);
    progress(current, total);
}

void StyleClass(TThemeClass& c, int kind, TColor colour) {
    c.BeginUpdate();
    switch (kind) {
    case dtkPoints:
        c.SetPointStyle(psPoint);
        c.SetLineColor(colour);
        break;
    case dtkLines:
        c.SetLineStyle(lsSolid);
        c.SetLineColor(colour);
        break;
    case dtkAreas:
        c.SetLineStyle(lsSolid);
        c.SetLineColor(0);
        c.SetFillColor(colour);
        c.SetFillStyle(fsSolid);
        break;
    default: c.SetLineColor(colour); break;
    }
    c.EndUpdate();
}

}  // namespace

// ---------------------------------------------------------------- plain

TDxfPlainImport::TDxfPlainImport(QStringList wanted,
                                 std::function<const TThemeClass*(const QString& layer)> defaultsOf, bool oneGroup,
                                 TDxfProgress progress)
    : wanted_(std::move(wanted)), defaultsOf_(std::move(defaultsOf)), oneGroup_(oneGroup),
      progress_(std::move(progress)) {}

TDxfGroup& TDxfPlainImport::GroupOf(const QString& layer) {
    const QString key = oneGroup_ ? QString() : layer;
    if (last_ < groups_.size() && groups_[last_].Layer == key) return groups_[last_];
    const auto it = index_.constFind(key);
    if (it != index_.constEnd()) {
        last_ = it.value();
    } else {
        last_ = groups_.size();
        index_.insert(key, last_);
        groups_.push_back({key, defaultsOf_(key), {}});
    }
    return groups_[last_];
}

void TDxfPlainImport::TableLayer(const QString& name, std::int64_t line) {
    if (oneGroup_ || !Wanted(name)) return;
    GroupOf(name);
    Store(name, true, line);  // a layer's caption and file name
}

void TDxfPlainImport::Entity(TDxfEntity& e) {
    TDxfGroup& g = GroupOf(e.Layer);
    auto o = PlainObject(e, *g.Defaults);
    if (!o) {
        PassOver(DxfKindName(e.Kind));  // a polyline without vertices
        return;
    }
    if (!oneGroup_) Store(e.Layer, true, e.Line);
    if (e.Kind == TDxfEntity::dxText) Store(e.Text, false, e.Line);
    g.Objects.push_back(std::move(o));
}

void TDxfPlainImport::Progress(std::int64_t position, std::int64_t size) { Report(progress_, position, size); }

// ---------------------------------------------------------------- theme

std::minstd_rand DxfColorGenerator() { return std::minstd_rand(20240611u); }

TColor DxfRandomColor(std::minstd_rand& random) { return static_cast<TColor>(random() % 0x1000000u); }

TDxfThemeImport::TDxfThemeImport(QStringList wanted, std::array<TThemeLayer*, 4> targets,
                                 std::minstd_rand& random, TDxfProgress progress)
    : wanted_(std::move(wanted)), random_(random), progress_(std::move(progress)) {
    for (std::size_t i = 0; i < targets.size(); ++i) targets_[i].Layer = targets[i];
}

void TDxfThemeImport::Entity(TDxfEntity& e) {
    const int kind = ThemeKindOf(e);
    TDxfThemeTarget* t = kind < 0 ? nullptr : &targets_[static_cast<std::size_t>(kind)];
    double z = 0;
    auto o = t != nullptr && t->Layer != nullptr ? ThemeObject(e, *t->Layer->Defaults(), z) : nullptr;
    if (!o) {
        PassOver(DxfKindName(e.Kind));
        return;
    }
    const QString value = e.Layer.left(kLayerFieldSize);
    Store(value, true, e.Line);  // a class name and a record's value
    if (e.Kind == TDxfEntity::dxText) Store(e.Text, false, e.Line);
    const QString key = value.trimmed().toUpper();
    if (!t->ClassKeys.contains(key)) {
        t->ClassKeys.insert(key);
        t->Classes.emplace_back(value, DxfRandomColor(random_));
    }
    t->Records.push_back({std::move(o), value, z});
}

void TDxfThemeImport::Progress(std::int64_t position, std::int64_t size) { Report(progress_, position, size); }

// ---------------------------------------------------------------- into layers

void DxfRefused(const TLayer& layer) {
    throw EEngineError(
        QStringLiteral("A camada \"%1\" não pode ser editada (somente leitura ou bloqueada): nada foi importado.").arg(layer.FileName()));
}

QString DxfBaseName(const QString& fileName) {
    QString name = ExtractFileName(fileName);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0) name.truncate(dot);
    return name;
}

namespace {

// Runs `add` inside one edit of the layer and posts once. A layer already
// in edit stays in it; one that this call put in edit is cancelled and left
// again when adding or posting fails.
template <typename F>
void InOneEdit(TLayer& layer, F&& add) {
    const bool entered = layer.State() != lsEdit;
    if (entered) {
        layer.Edit();
        if (layer.State() != lsEdit) DxfRefused(layer);
    }
    try {
        add();
        layer.InternalPost();
    } catch (...) {
        if (entered) {
            layer.InternalCancel();
            layer.EndEdit();
        }
        throw;
    }
    if (entered) layer.EndEdit();
}

}  // namespace

void DxfAddToLayer(TLayer& layer, std::vector<std::unique_ptr<TVisualObject>>& objects) {
    InOneEdit(layer, [&] {
        for (auto& o : objects)
            if (layer.Add(std::move(o)) < 0) DxfRefused(layer);
        objects.clear();
    });
}

namespace {

// The objects and their records, in one edit posted once.
void AddRecords(TThemeLayer& layer, TDxfThemeTarget& target) {
    TLayerTable& table = *layer.Table();
    InOneEdit(layer, [&] {
        // The record's values by field name: the table may hold more fields.
        std::vector<int> role;
        for (int i = 1; i < table.FieldCount(); ++i) {
            const QString name = table.Fields(i)->FieldName().toUpper();
            role.push_back(name == u"LAYER" ? 1 : name == u"ELEVATION" ? 2 : 0);
        }
        QVariantList values;
        for (auto& r : target.Records) {
            values.clear();
            for (const int k : role) values << (k == 1 ? QVariant(r.DxfLayer) : k == 2 ? QVariant(r.Elevation) : QVariant());
            if (layer.AddObjectWithRecord(std::move(r.Object), values) < 0) DxfRefused(layer);
        }
        target.Records.clear();
    });
}

// What an import changes on a new theme layer (not open, no file made or
// read), to be put back when it fails: its table's names and fields, and
// the files it makes.
class TNewThemeLayer {
public:
    explicit TNewThemeLayer(TThemeLayer& layer)
        : layer_(layer), fresh_(!layer.Active() && !layer.FileCreated()), database_(layer.TableDatabaseName()),
          name_(layer.TableName()) {
        if (!fresh_) return;
        fields_.Assign(layer.Table()->FieldDefs());
        if (name_.isEmpty()) {
            layer.SetTableDatabaseName(ExtractFilePath(layer.ResolvedFileName()));
            layer.SetTableName(DxfBaseName(layer.LayerName()));
            named_ = true;
        }
        layer.Table()->SetBaseFolder(ExtractFilePath(layer.ResolvedFileName()));
        hadFile_ = QFileInfo::exists(layer.ResolvedFileName());
        hadTable_ = TableExists();
    }
    void Undo() {
        if (!fresh_) return;
        try {
            layer_.Close();
            layer_.InternalClose();  // also a layer whose file was made but not opened
        } catch (const std::exception&) {
        }
        if (!hadFile_) QFile::remove(layer_.ResolvedFileName());
        try {
            if (!hadTable_ && TableExists()) layer_.Table()->DeleteTable();
        } catch (const std::exception&) {
        }
        layer_.Table()->FieldDefs().Assign(fields_);
        if (named_) {
            layer_.SetTableDatabaseName(database_);
            layer_.SetTableName(name_);
        }
    }

private:
    bool TableExists() const {
        TTable t;
        t.SetDatabaseName(layer_.Table()->EffectiveDatabase());
        t.SetTableName(layer_.Table()->TableName());
        t.SetTableType(layer_.Table()->TableType());
        return t.Exists();
    }

    TThemeLayer& layer_;
    bool fresh_;
    QString database_, name_;
    TFieldDefs fields_;
    bool hadFile_ = true, hadTable_ = true, named_ = false;
};

}  // namespace

void DxfCommitTheme(TThemeLayer& layer, TDxfThemeTarget& target) {
    TLayerTable& table = *layer.Table();
    TNewThemeLayer fresh(layer);
    try {
        table.AddField(QStringLiteral("LAYER"), ftString, false, kLayerFieldSize);
        table.AddField(QStringLiteral("ELEVATION"), ftFloat, false, 0);
        layer.CreateLayerFile();
        if (!layer.Active()) layer.Open();
        if (!layer.Active())
            throw EEngineError(QStringLiteral("A camada \"%1\" não pode ser aberta: nada foi importado.").arg(layer.FileName()));
        AddRecords(layer, target);
    } catch (...) {
        fresh.Undo();
        throw;
    }
    TThemeClasses& classes = *layer.ThemeClasses();
    for (const auto& [name, colour] : target.Classes) {
        if (classes.IndexOfName(name) >= 0) continue;
        TThemeClass& c = *classes.GetItem(classes.Add(name));
        StyleClass(c, layer.ThemeLayerType() % 10, colour);
        c.SetFromValue(name);
        c.SetToValue(name);
    }
    if (const TField* f = table.FindField(QStringLiteral("LAYER"))) layer.SetClassificationFieldIndex(f->Index());
    layer.SetClassified(true);
}
