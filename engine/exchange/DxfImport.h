#pragma once
// What the DXF imports share: reading the whole file into objects held
// aside (so that a file that turns out damaged changes no layer), and
// handing them to their layers with one edit and one post per layer.
//
// Plain imports (a layer, a plain view) make the objects of every entity
// kind, styled from the defaults of the layer they go to. Theme imports (a
// theme layer, a coordinate-aware view) sort points, lines, areas and
// texts to up to four theme layers and keep with each object its record:
// the DXF layer name ("LAYER") and its elevation ("ELEVATION").
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include "core/Color.h"
#include "engine/exchange/DxfReader.h"

class TLayer;
class TThemeClass;
class TThemeLayer;
class TVisualObject;

using TDxfProgress = std::function<void(int current, int total)>;

// The objects read for one DXF layer (or, for a single layer's import, for
// all of them), in file order.
struct TDxfGroup {
    QString Layer;
    const TThemeClass* Defaults = nullptr;
    std::vector<std::unique_ptr<TVisualObject>> Objects;
};

class TDxfPlainImport : public TDxfHandler {
public:
    // defaultsOf: the defaults of the layer that a DXF layer's objects go
    // to, asked once per DXF layer. With oneGroup every object goes to one
    // group and the LAYER table is not looked at.
    TDxfPlainImport(QStringList wanted, std::function<const TThemeClass*(const QString& layer)> defaultsOf,
                    bool oneGroup, TDxfProgress progress);
    // Groups in the order their DXF layers were first met: LAYER table
    // entries first, then entities.
    std::vector<TDxfGroup>& Groups() { return groups_; }

    void TableLayer(const QString& name, std::int64_t line) override;
    bool Wanted(const QString& layer) override { return DxfLayerWanted(wanted_, layer); }
    void Entity(TDxfEntity& entity) override;
    void Progress(std::int64_t position, std::int64_t size) override;

private:
    TDxfGroup& GroupOf(const QString& layer);

    QStringList wanted_;
    std::function<const TThemeClass*(const QString&)> defaultsOf_;
    bool oneGroup_;
    TDxfProgress progress_;
    std::vector<TDxfGroup> groups_;
    QHash<QString, std::size_t> index_;
    std::size_t last_ = SIZE_MAX;
};

// The kinds of theme layers, as their ThemeLayerType (modulo 10).
enum TDxfThemeKind { dtkPoints = 0, dtkLines = 1, dtkAreas = 2, dtkTexts = 3 };

struct TDxfThemeTarget {
    TThemeLayer* Layer = nullptr;
    struct TRecord {
        std::unique_ptr<TVisualObject> Object;
        QString DxfLayer;
        double Elevation = 0;
    };
    std::vector<TRecord> Records;
    // One theme class per DXF layer, in the order first met, with its
    // colour (line colour, or fill colour for areas).
    std::vector<std::pair<QString, TColor>> Classes;
    QSet<QString> ClassKeys;
};

class TDxfThemeImport : public TDxfHandler {
public:
    // targets: the theme layer of each kind, nullptr for a kind not taken.
    // ARC and CIRCLE entities are never taken.
    TDxfThemeImport(QStringList wanted, std::array<TThemeLayer*, 4> targets, std::minstd_rand& random,
                    TDxfProgress progress);
    std::array<TDxfThemeTarget, 4>& Targets() { return targets_; }

    bool Wanted(const QString& layer) override { return DxfLayerWanted(wanted_, layer); }
    void Entity(TDxfEntity& entity) override;
    void Progress(std::int64_t position, std::int64_t size) override;

private:
    QStringList wanted_;
    std::array<TDxfThemeTarget, 4> targets_;
    std::minstd_rand& random_;
    TDxfProgress progress_;
};

// The generator of the theme imports' colours: the same sequence on every
// import.
std::minstd_rand DxfColorGenerator();
// A plain RGB colour drawn from the generator.
TColor DxfRandomColor(std::minstd_rand& random);

// Adds the objects to the layer in one edit and posts once. A layer that
// refuses to edit (read-only, or locked by someone else) raises and is not
// touched; a failed post takes the objects out again (the layer is as it
// was) and raises. A layer already in edit stays in edit.
void DxfAddToLayer(TLayer& layer, std::vector<std::unique_ptr<TVisualObject>>& objects);
// The theme layer's table gets "LAYER" and "ELEVATION" (a new layer's
// table is named after its file, beside it); its files are made when they
// are not; it is opened and edited once; the records are added and posted
// once; the classes are added; it is classified by "LAYER". Raises when the
// layer cannot be opened, refuses to edit or its table refuses a record:
// then the layer holds none of the objects, and a new layer is closed
// again, without the files this call made and the fields it defined.
void DxfCommitTheme(TThemeLayer& layer, TDxfThemeTarget& target);
// "A camada "<file>" não pode ser editada (...): nada foi importado."
[[noreturn]] void DxfRefused(const TLayer& layer);
// The name part of a file name without its extension.
QString DxfBaseName(const QString& fileName);
