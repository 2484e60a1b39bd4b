#pragma once
// The root of every map object (TVisualObject), the two intermediate
// classes that add a line colour (TDrawingObject) and a line width with a
// list of added shapes (TDrawingShape), the non-owning object lists
// (TVisualObjects, TPoints, TContours), object keys, the class registry
// and the object record stream.
//
// Ownership: an object belongs to at most one owner (its layer, Parent),
// which holds it in a std::unique_ptr and frees it. The object lists below
// only refer to objects and never free them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <span>
#include <vector>

#include <QString>
#include <QStringView>

#include "core/Color.h"
#include "core/Errors.h"
#include "engine/objects/ObjectOwner.h"

class TStream;
class TThemeClass;
class TObjectOwner;
class TDrawContext;
class TPoint;
class TContour;
class TVisualObjects;

// Least lower and greatest upper coordinates of an object or a set.
struct TBounds {
    double LowerX = 0, LowerY = 0, LowerZ = 0, UpperX = 0, UpperY = 0, UpperZ = 0;
};

// A key was given that another object of the same owner holds already.
class EDuplicateKey : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// An index or key that a list does not hold ("List index out of bounds (%d)").
class EListError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// ---------------------------------------------------------------- keys
// Stored keys are unsigned 64-bit values. Read back, a key becomes its 20
// upper-case hexadecimal digits with leading zeros ("0000000000000000000A").
QString KeyToId(std::uint64_t key);
// The stored key of an Id: each character, taken from the last backwards,
// weighs 16^k by its position k from the end; "0"-"9", "A"-"F" and "a"-"f"
// give their digit, any other character (blank, "-") gives nothing but
// takes its position. So "1", "00000000000000000001" and "-1" store 1, and
// "1-2" stores 0x102. Raises EConvertError when a non-zero digit stands
// more than 16 places from the end (the value does not fit in 64 bits).
std::uint64_t IdToKey(const QString& id);

// ---------------------------------------------------------------- root
class TVisualObject {
public:
    TVisualObject();
    virtual ~TVisualObject();
    TVisualObject(const TVisualObject&) = delete;
    TVisualObject& operator=(const TVisualObject&) = delete;

    // The exact class name ("TPoint", "TPolyLine"); pairwise tests dispatch
    // on it. Every concrete class overrides it.
    virtual QString ClassName() const { return QStringLiteral("TVisualObject"); }
    // The exact class name compared without regard to case; a descendant
    // does not match its parent's name.
    bool ClassNameIs(QStringView name) const;

    // ---- properties
    const QString& Id() const { return id_; }
    // With an owner: a value whose trimmed text is the trimmed Id of another
    // object of the owner raises EDuplicateKey and changes nothing; the
    // object's own key again is a no-op; otherwise the value is stored and
    // the owner told (ObjectIdChanged). Without an owner the value is stored.
    void SetId(const QString& value);
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { Assign(visible_, v); }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { Assign(enabled_, v); }
    bool Selected() const { return selected_; }
    // When the value changes and the owner has a canvas, the object is
    // redrawn in its old state first; then the value is stored. The value
    // held already changes and stops nothing.
    void SetSelected(bool v);
    // The owning layer; not owned by the object.
    TObjectOwner* Parent() const { return parent_; }
    void SetParent(TObjectOwner* owner) { parent_ = owner; }
    double Tolerance() const { return tolerance_; }
    void SetTolerance(double v) { Assign(tolerance_, v); }
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t v) { tag_ = v; }

    // ---- bounds, in map units
    double LowerX() const { return GetLowerX(); }
    double LowerY() const { return GetLowerY(); }
    double LowerZ() const { return GetLowerZ(); }
    double UpperX() const { return GetUpperX(); }
    double UpperY() const { return GetUpperY(); }
    double UpperZ() const { return GetUpperZ(); }
    virtual double GetLowerX() const { return 0; }
    virtual double GetLowerY() const { return 0; }
    virtual double GetLowerZ() const { return 0; }
    virtual double GetUpperX() const { return 0; }
    virtual double GetUpperY() const { return 0; }
    virtual double GetUpperZ() const { return 0; }
    // The six values above at once; a class whose values come from one pass
    // over its geometry gives them from that pass.
    virtual TBounds GetBounds() const {
        return {GetLowerX(), GetLowerY(), GetLowerZ(), GetUpperX(), GetUpperY(), GetUpperZ()};
    }
    // Bounds follow the geometry: every concrete class leaves these empty.
    virtual void SetLowerX(double) {}
    virtual void SetLowerY(double) {}
    virtual void SetLowerZ(double) {}
    virtual void SetUpperX(double) {}
    virtual void SetUpperY(double) {}
    virtual void SetUpperZ(double) {}

    // ---- extent on the owner's view, in pixels (0 without an owner or
    // without a draw context)
    virtual int GetPixelHeight() const { return 0; }
    virtual int GetPixelWidth() const { return 0; }
    int Height() const;
    int Width() const;
    // Pixel column / row of the bounds' centre minus / plus Width div 2
    // (Height div 2).
    int Left() const;
    int Right() const;
    int Top() const;
    int Bottom() const;
    // The owner's draw context, or nullptr.
    TDrawContext* OwnerContext() const;

    // ---- virtual operations (the base gives false, 0 or nullptr)
    // An independent copy, owned by the caller (see each class for what is
    // copied); nullptr for the base class.
    virtual std::unique_ptr<TVisualObject> Clone() const { return nullptr; }
    // The payload of the object record: the 8-byte key, then each class's
    // fields. LoadFromStream sets Id directly from the key.
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream) const;
    // Draws the object on the context. Each class first calls its parent
    // class's Draw, which prepares the pen.
    virtual void Draw(TDrawContext& dc);
    virtual bool SameAs(const TVisualObject& other) const { return false; }
    // Rectangles are lower X, lower Y, upper X, upper Y; inclusive, never
    // reordered.
    virtual bool InRect(double x1, double y1, double x2, double y2) const { return false; }
    virtual bool CrossesRect(double x1, double y1, double x2, double y2) const { return false; }
    virtual double DistanceTo(const TVisualObject& other) const { return 0; }
    virtual bool Touches(const TVisualObject& other) const { return false; }
    virtual bool Contains(const TVisualObject& other) const { return false; }
    virtual void Move(double dx, double dy) {}
    // Turns counter-clockwise (radians, Y up) about the centre of the
    // bounds; the bounds' centre stays where it was.
    virtual void Rotate(double angle) {}
    // Scales about the centre of the bounds.
    virtual void Scale(double factor) {}

    // ---- drawing entry points
    // Draw on the owner's context when Visible and Enabled (nothing
    // without an owner or context).
    void Redraw();
    // Draw on the given context when Visible and Enabled.
    void Redraw(TDrawContext& dc);
    // Asks the owner to flash the object for the given time; returns at
    // once (nothing without an owner).
    void Flash(int milliseconds);

protected:
    // Stores an Id as read from a stream, bypassing SetId's checks.
    void AssignIdDirect(const QString& id) { id_ = id; }
    // Every setter and edit of the object calls this first: the owner
    // stops a redraw that may be reading the object on another thread.
    void Changing() {
        if (parent_ != nullptr) parent_->ObjectChanging(*this);
    }
    // A setter's store: Changing first, unless the value is the one held
    // (which changes and stops nothing).
    template <typename T, typename V>
    void Assign(T& field, const V& value) {
        if (field == value) return;
        Changing();
        field = value;
    }

private:
    QString id_;
    bool visible_ = true;
    bool enabled_ = true;
    bool selected_ = false;
    TObjectOwner* parent_ = nullptr;
    double tolerance_ = 0;
    std::int32_t tag_ = 0;
};

// ---------------------------------------------------------------- lists
// A list of object references in order; it never frees its items.
template <typename T>
class TObjectRefList {
public:
    using value_type = T*;
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    T* operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }
    T* At(int i) const {
        if (i < 0 || i >= Count())
            throw EListError(QStringLiteral("List index out of bounds (%1)").arg(i));
        return items_[static_cast<std::size_t>(i)];
    }
    void Add(T* item) { items_.push_back(item); }
    void Insert(int i, T* item) { items_.insert(items_.begin() + i, item); }
    void Delete(int i) { At(i); items_.erase(items_.begin() + i); }
    // Removes the first reference to the item; its index, or -1.
    int Remove(const T* item) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == item) {
                items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
                return static_cast<int>(i);
            }
        return -1;
    }
    int IndexOf(const T* item) const {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == item) return static_cast<int>(i);
        return -1;
    }
    void Clear() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    const std::vector<T*>& Items() const { return items_; }

protected:
    std::vector<T*> items_;
};

// Bounds of a set of objects: least lower and greatest upper values; all
// 0 for none.
TBounds ObjectsBounds(std::span<TVisualObject* const> items);
// Widens `b` to hold `o`.
inline void ExtendBounds(TBounds& b, const TBounds& o) {
    b.LowerX = std::min(b.LowerX, o.LowerX);
    b.LowerY = std::min(b.LowerY, o.LowerY);
    b.LowerZ = std::min(b.LowerZ, o.LowerZ);
    b.UpperX = std::max(b.UpperX, o.UpperX);
    b.UpperY = std::max(b.UpperY, o.UpperY);
    b.UpperZ = std::max(b.UpperZ, o.UpperZ);
}

// The objects of an owner's list (a vector of std::unique_ptr), in order,
// seen as plain pointers; the owner keeps them.
class TObjectRange {
public:
    using TOwned = std::unique_ptr<TVisualObject>;
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TVisualObject*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = TVisualObject*;
        iterator() = default;
        explicit iterator(const TOwned* at) : at_(at) {}
        TVisualObject* operator*() const { return at_->get(); }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++at_;
            return old;
        }
        friend bool operator==(const iterator&, const iterator&) = default;

    private:
        const TOwned* at_ = nullptr;
    };
    explicit TObjectRange(const std::vector<TOwned>& items) : items_(&items) {}
    iterator begin() const { return iterator(items_->data()); }
    iterator end() const { return iterator(items_->data() + items_->size()); }
    std::size_t size() const { return items_->size(); }
    bool empty() const { return items_->empty(); }
    TVisualObject* operator[](std::size_t i) const { return (*items_)[i].get(); }
    std::vector<TVisualObject*> ToVector() const { return {begin(), end()}; }

private:
    const std::vector<TOwned>* items_;
};
TBounds ObjectsBounds(const TObjectRange& items);

class TVisualObjects : public TObjectRefList<TVisualObject> {
public:
    double LowerX() const { return Bounds().LowerX; }
    double LowerY() const { return Bounds().LowerY; }
    double LowerZ() const { return Bounds().LowerZ; }
    double UpperX() const { return Bounds().UpperX; }
    double UpperY() const { return Bounds().UpperY; }
    double UpperZ() const { return Bounds().UpperZ; }
    TBounds Bounds() const { return ObjectsBounds(items_); }
    // The first item whose trimmed Id equals the trimmed key (exact,
    // case-sensitive); nullptr when none.
    TVisualObject* FindById(const QString& key) const;
    // The first item whose Id equals the key exactly; raises EListError
    // ("List index out of bounds (-1)") when none has it.
    TVisualObject* GetById(const QString& key) const;
};

// References to point objects; never frees them.
class TPoints : public TObjectRefList<TPoint> {
public:
    TBounds Bounds() const;
};

// References to contours; never frees them.
class TContours : public TObjectRefList<TContour> {
public:
    TBounds Bounds() const;
    // The index of the contour whose nearest segment is nearest to (x, y)
    // (a later one wins only when strictly nearer); -1 for an empty list or
    // when no contour has a segment.
    int NearestContour(double x, double y) const;
};

// ---------------------------------------------------------------- drawing objects
class TDrawingObject : public TVisualObject {
public:
    QString ClassName() const override { return QStringLiteral("TDrawingObject"); }
    TColor LineColor() const { return lineColor_; }
    void SetLineColor(TColor v) { Assign(lineColor_, v); }
    bool LayerLineColor() const { return layerLineColor_; }
    void SetLayerLineColor(bool v) { Assign(layerLineColor_, v); }

    // Sets the pen colour: the owner's selection-highlight line colour when
    // Selected, else LineColor.
    void Draw(TDrawContext& dc) override;
    // Copies the class's line colour.
    virtual void ApplyThemeClass(const TThemeClass& themeClass);

private:
    TColor lineColor_ = clBlack;
    bool layerLineColor_ = true;
};

class TDrawingShape : public TDrawingObject {
public:
    TDrawingShape();
    ~TDrawingShape() override;
    QString ClassName() const override { return QStringLiteral("TDrawingShape"); }
    int LineWidth() const { return lineWidth_; }
    void SetLineWidth(int v) { Assign(lineWidth_, v); }
    bool LayerLineWidth() const { return layerLineWidth_; }
    void SetLayerLineWidth(bool v) { Assign(layerLineWidth_, v); }

    // Sets the pen width (selection-highlight line width when Selected,
    // else LineWidth), then the colour.
    void Draw(TDrawContext& dc) override;
    // Line colour, then line width.
    void ApplyThemeClass(const TThemeClass& themeClass) override;
    // Appends a shape (not owned) to the added shapes; returns this object.
    virtual TDrawingShape* AddShape(TVisualObject* shape);
    // A new list with the added shapes in order (the caller owns the list,
    // not the shapes); the own list is emptied.
    virtual std::unique_ptr<TVisualObjects> ExtractShapes();
    const TVisualObjects& AddedShapes() const { return shapes_; }

private:
    TVisualObjects shapes_;
    int lineWidth_ = 1;
    bool layerLineWidth_ = true;
};

// ---------------------------------------------------------------- class registry
// Makes a new object of a class with the class's defaults.
using TObjectFactory = std::function<std::unique_ptr<TVisualObject>()>;
// Registers (or replaces) a class under its name ("TText"); names are
// looked up without regard to case. TPoint, TLine, TContour, TPolyLine and
// TPolygon are registered from the start; the modules of other classes
// register theirs once at start-up (call from code: static registration
// objects in a static library may be dropped by the linker).
void RegisterObjectClass(const QString& className, TObjectFactory factory);
bool IsObjectClassRegistered(QStringView className);
// A new object of the registered class; nullptr when it is not registered.
std::unique_ptr<TVisualObject> CreateObjectOfClass(QStringView className);

// ---------------------------------------------------------------- record stream
// The record name of an object: its class name without the leading "T",
// upper-cased ("POINT", "POLYLINE").
QString ObjectRecordName(const TVisualObject& object);
// Name line, payload (SaveToStream), "E" + name line.
void WriteObjectRecord(const TVisualObject& object, TStream& stream);
// Reads one record: name line, payload, end line. Returns a new object,
// owned by the caller and without owner; never nullptr. Raises
// EFormatError for an unregistered class (naming it) or a wrong end line,
// and EReadError when the stream ends inside the record. With onlyClass
// ("TContour"), a record of any other class raises EFormatError before
// anything of it is read (so records cannot nest without bound: a contour
// list never reads a polyline).
std::unique_ptr<TVisualObject> ReadObjectRecord(TStream& stream, QStringView onlyClass = {});
// The least number of bytes any object record takes (for CheckCount).
constexpr std::int64_t kMinObjectRecordBytes = 7;
// An object list: a 4-byte count, then that many records.
void WriteObjectList(TStream& stream, std::span<const TVisualObject* const> objects);
std::vector<std::unique_ptr<TVisualObject>> ReadObjectList(TStream& stream);
