#pragma once
// Graph nodes laid over the map: each TGraphNode stands for another map
// object, has a user node class and keeps links, each naming a
// neighbouring node and the map object that forms the arc between them.
// Nodes are drawn as point markers at the centre of the object they
// stand for and answer hit tests through it.
//
// Ownership: a node owns its link list, which owns its links. The
// represented object, a link's neighbour and its arc object are plain
// references, owned by their layers. The network context is not owned.
#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>
#include <QString>

#include "core/Codes.h"
#include "core/Font.h"
#include "engine/objects/VisualObject.h"

class TGraphNode;

// The context through which nodes read from a stream find the objects
// they represent. Not owned by the nodes.
struct TGraphNetwork {
    TObjectOwner* NodeLayer = nullptr;    // the layer holding the nodes
    TObjectOwner* ObjectLayer = nullptr;  // the layer of the represented objects
    TObjectOwner* ArcLayer = nullptr;     // the layer of the arc objects
    // All three layers are set.
    bool HasLayerContext() const { return NodeLayer && ObjectLayer && ArcLayer; }
};

class TGraphLink {
public:
    // An empty link of the node: no neighbour, no arc, empty keys.
    explicit TGraphLink(TGraphNode* owner) : owner_(owner) {}
    // A link to a neighbour over an arc object; the keys are copied from
    // them (empty for a missing object).
    TGraphLink(TGraphNode* owner, TGraphNode* neighbour, TVisualObject* arc);

    TGraphNode* Owner() const { return owner_; }
    TGraphNode* Neighbour() const { return neighbour_; }
    TVisualObject* Arc() const { return arc_; }
    const QString& NodeId() const { return nodeId_; }
    const QString& ArcId() const { return arcId_; }
    // The keys of a link read from a stream, whose objects are not known.
    void SetIds(const QString& nodeId, const QString& arcId);

    // "NodeId=" line, then "ArcId=" line; the objects stay unresolved.
    void LoadFromStream(TStream& stream);
    // The keys of the objects when the link has them, else the stored keys.
    void SaveToStream(TStream& stream) const;

private:
    TGraphNode* owner_;
    TGraphNode* neighbour_ = nullptr;
    TVisualObject* arc_ = nullptr;
    QString nodeId_;
    QString arcId_;
};

class TGraphLinks {
public:
    explicit TGraphLinks(TGraphNode* owner) : owner_(owner) {}
    int Count() const { return static_cast<int>(links_.size()); }
    // Raises EListError beyond the count.
    TGraphLink& Link(int index) const;
    // Appends a link to the neighbour over the arc, unless the neighbour is
    // the owner node itself. Duplicates are allowed. The new link, or
    // nullptr when none was added.
    TGraphLink* AddLink(TGraphNode* neighbour, TVisualObject* arc);
    // Appends a copy of a link (objects and keys) for the owner node.
    void AddCopy(const TGraphLink& link);
    void Clear() { links_.clear(); }
    // "Count=" line, then that many links.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

private:
    TGraphNode* owner_;
    std::vector<std::unique_ptr<TGraphLink>> links_;
};

class TGraphNode : public TDrawingShape {
public:
    TGraphNode();
    ~TGraphNode() override;
    QString ClassName() const override { return QStringLiteral("TGraphNode"); }

    TGraphNetwork* Network() const { return network_; }
    void SetNetwork(TGraphNetwork* network) { network_ = network; }
    TVisualObject* Representation() const { return representation_; }
    // Stores the object and takes its Id (empty for none).
    void SetRepresentation(TVisualObject* object);
    const QString& RepresentationId() const { return representationId_; }
    std::int32_t NodeClass() const { return nodeClass_; }
    void SetNodeClass(std::int32_t v) { nodeClass_ = v; }
    TGraphLinks& Links() { return *links_; }
    const TGraphLinks& Links() const { return *links_; }

    // The marker: copied from a symbology class by ApplyThemeClass (the
    // layer applies its default class), as for points.
    TPointStyle PointStyle() const { return pointStyle_; }
    void SetPointStyle(TPointStyle v) { pointStyle_ = v; }
    const TFont& SymbolFont() const { return symbolFont_; }
    void SetSymbolFont(const TFont& v) { symbolFont_ = v; }
    std::uint8_t Symbol() const { return symbol_; }
    void SetSymbol(std::uint8_t v) { symbol_ = v; }
    const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& v) { bitmap_ = v; }

    // A node with the same class, representation (object and key),
    // network and links (objects and keys); nothing is looked up.
    std::unique_ptr<TVisualObject> Clone() const override;
    // The key, "NodeClass=", "RepresentationId=", the links. The
    // representation is looked up in the network's object layer when the
    // network is complete, else left unset. A class or count that is not
    // an integer raises EConvertError.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    // A marker at the centre of the represented object's bounds when that
    // lies in the visible window; nothing without a representation.
    void Draw(TDrawContext& dc) override;
    void ApplyThemeClass(const TThemeClass& themeClass) override;

    bool SameAs(const TVisualObject& other) const override;
    bool InRect(double x1, double y1, double x2, double y2) const override;
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override;
    // A node follows its object: Move, Rotate and Scale do nothing.

private:
    TGraphNetwork* network_ = nullptr;
    TVisualObject* representation_ = nullptr;
    std::int32_t nodeClass_ = 0;
    std::unique_ptr<TGraphLinks> links_;
    QString representationId_;
    TPointStyle pointStyle_ = psPoint;
    TFont symbolFont_;
    std::uint8_t symbol_ = 149;
    QImage bitmap_;
};

// Registers TGraphNode for the object record stream.
void RegisterGraphClasses();
