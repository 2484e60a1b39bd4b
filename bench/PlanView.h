#pragma once
// The plan's map in a 1920x1080 view with the base layers of every hill
// (the files "m*.cam" beside the map's layers, the hills' limits aside)
// below the map's own layers, shown whole. The caller owns the view.
#include <memory>

#include <QDir>

#include "core/Paths.h"
#include "engine/layers/Layers.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"

inline TGISDrawing* OpenPlanView(const QString& mapFile) {
    auto* v = new TGISDrawing;
    v->resize(1920, 1080);
    v->SetDatabaseName(ExtractFilePath(mapFile));
    v->SetDrawingName(ExtractFileName(mapFile));
    v->Open();
    const QString mapLayers = JoinPath(ExtractFilePath(mapFile), QStringLiteral("camadas"));
    const QDir dir(mapLayers);
    for (const QString& name : dir.entryList({QStringLiteral("*.cam")}, QDir::Files, QDir::Name)) {
        if (!name.startsWith(u'm') || name.startsWith(QStringLiteral("morros"))) continue;
        auto layer = std::make_unique<TThemeLayer>(v);
        layer->SetThemeLayerType(TThemeLayer::FileThemeLayerType(JoinPath(mapLayers, name)));
        layer->SetDatabaseName(mapLayers);
        layer->SetLayerName(name);
        layer->SetCaption(name);
        layer->Open();
        v->Layers().Add(std::move(layer));
    }
    v->ZoomWindow(v->LeftLimit(), v->BottomLimit(), v->RightLimit(), v->TopLimit());
    return v;
}
