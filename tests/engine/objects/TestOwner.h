#pragma once
// A stand-in for the layer: owns nothing, keeps a list and an Id index
// the way a layer does, and records what the objects ask of it.
#include <QHash>
#include <vector>

#include "engine/objects/ObjectOwner.h"
#include "engine/objects/VisualObject.h"

class TTestOwner : public TObjectOwner {
public:
    void Adopt(TVisualObject& o) {
        o.SetParent(this);
        objects.Add(&o);
    }
    TVisualObject* FindById(const QString& id) const override { return objects.FindById(id); }
    void ObjectIdChanged(TVisualObject& object, const QString& oldId) override {
        changes.push_back({&object, oldId});
    }
    TDrawContext* DrawContext() const override { return context; }
    const TThemeClass* SelectionHilite() const override { return hilite; }
    bool InEditState() const override { return editing; }
    void Flash(TVisualObject& object, int milliseconds) override {
        flashed = &object;
        flashMs = milliseconds;
    }

    TVisualObjects objects;
    std::vector<std::pair<TVisualObject*, QString>> changes;
    TDrawContext* context = nullptr;
    const TThemeClass* hilite = nullptr;
    bool editing = false;
    TVisualObject* flashed = nullptr;
    int flashMs = 0;
};
