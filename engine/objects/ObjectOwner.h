#pragma once
// What a map object needs of the layer that owns it. TLayer derives from
// TObjectOwner; objects see their layer only through this interface.
#include <QString>

class TDrawContext;
class TThemeClass;
class TVisualObject;

class TObjectOwner {
public:
    virtual ~TObjectOwner() = default;

    // The first object, in list order, whose trimmed Id equals the trimmed
    // key (exact, case-sensitive); nullptr when none. SetId asks this.
    virtual TVisualObject* FindById(const QString& id) const = 0;
    // Called by SetId after an owned object's Id has changed from oldId to
    // object.Id(), so that the owner's Id index stays right.
    virtual void ObjectIdChanged(TVisualObject& object, const QString& oldId) = 0;

    // The context to draw on, or nullptr when the owner has no canvas.
    virtual TDrawContext* DrawContext() const = 0;
    // The symbology class in which selected objects are drawn; nullptr for
    // none (selected objects then draw in their own attributes).
    virtual const TThemeClass* SelectionHilite() const = 0;
    // Whether the owner is in its edit state (edit grips are drawn around
    // selected lines and their pixel extent grows by the snap tolerance).
    virtual bool InEditState() const { return false; }

    // Called before an owned object changes (a property, its geometry, its
    // selection mark): an owner whose objects are being drawn on other
    // threads stops that drawing and waits for it first.
    virtual void ObjectChanging(TVisualObject& object) {}
    // Called before an owned object's selection mark changes: as
    // ObjectChanging, for a change that only the object's own drawing reads.
    virtual void SelectionMarkChanging(TVisualObject& object) { ObjectChanging(object); }

    // Shows the object highlighted for the given time. The owner (the view)
    // ends the flash with a timer; the call returns at once.
    virtual void Flash(TVisualObject& object, int milliseconds) = 0;
};
