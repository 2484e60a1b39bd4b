#pragma once
// The layer list beside the map: one row per layer of a view, top to bottom
// in layer-list order, with a visibility box, the layer's caption and its
// legends. Rows follow their layers through change links; the list follows
// the view's layer list. A row pressed with the left button becomes the
// view's active layer and is marked (layer Tag 1, raised frame).
#include <functional>
#include <vector>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>

#include "engine/view/Legends.h"

class TDrawing;
class TLayer;
class TLayerListBox;

class TLayerPanel : public QFrame {
public:
    explicit TLayerPanel(QWidget* parent = nullptr);
    ~TLayerPanel() override;

    TLayer* Layer() const { return layer_; }
    virtual void SetLayer(TLayer* layer);
    QCheckBox* VisibleCheckBox() const { return checkBox_; }
    QLabel* LabelCaption() const { return label_; }
    TLegends* Legends() const { return legends_; }
    // The list box this row belongs to; nullptr when none.
    TLayerListBox* ListBox() const { return listBox_; }
    void SetListBox(TLayerListBox* box) { listBox_ = box; }
    bool Raised() const { return frameShadow() == QFrame::Raised; }
    void SetRaised(bool v);

    virtual void UpdateFromLayer();
    void Relayout();
    // The left-button press on the row (the view's tools call it too).
    void Press(Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    virtual void LayerDisconnected();

private:
    void Unlink();
    void VisibleCheckBoxClick();
    TLayer* layer_ = nullptr;
    QCheckBox* checkBox_;
    QLabel* label_;
    TLegends* legends_;
    TLayerListBox* listBox_ = nullptr;
};

class TThemeLayerPanel : public TLayerPanel {
public:
    using TLayerPanel::TLayerPanel;
    void SetLayer(TLayer* layer) override;

protected:
    void LayerDisconnected() override;
};

class TLayerListBox : public QScrollArea {
public:
    using TClickEvent = std::function<void(TLayerListBox& sender)>;
    explicit TLayerListBox(QWidget* parent = nullptr);
    ~TLayerListBox() override;

    TDrawing* Drawing() const { return drawing_; }
    void SetDrawing(TDrawing* drawing);
    int GetPanelCount() const { return static_cast<int>(rows_.size()); }
    TLayerPanel* GetPanel(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    // The row of a layer, matched by identity; nullptr when none.
    TLayerPanel* PanelOf(const TLayer* layer) const;
    // The index of the row last pressed with the left button: -1 until a
    // row is pressed, and never reset afterwards (it stays when the rows
    // are rebuilt, whatever rows they are then).
    int PressedIndex() const { return pressedIndex_; }
    // Sets the index without pressing or marking a row.
    void SetPressedIndex(int index) { pressedIndex_ = index; }

    void Rebuild();
    // A row was pressed (called by the row): marked, its layer active, the
    // index its layer's; then the click.
    void RowPressed(TLayerPanel& row, Qt::KeyboardModifiers modifiers);
    // A click on the list: OnClick, then the layer of row PressedIndex
    // becomes the view's active layer, then OnClick again. Nothing at all
    // while the index names no row (none pressed yet, or the rows rebuilt
    // with fewer).
    void Click();

    TClickEvent OnClick;

protected:
    virtual TLayerPanel* CreatePanel(QWidget* parent) { return new TLayerPanel(parent); }
    void resizeEvent(QResizeEvent* event) override;

private:
    void Unlink();
    void FreeRows();
    TDrawing* drawing_ = nullptr;
    QWidget* content_;
    std::vector<TLayerPanel*> rows_;
    int pressedIndex_ = -1;
    // The layer of row PressedIndex; nullptr when there is no such row.
    TLayer* PressedRowLayer() const;
};

class TThemeLayerListBox : public TLayerListBox {
public:
    using TLayerListBox::TLayerListBox;

protected:
    TLayerPanel* CreatePanel(QWidget* parent) override { return new TThemeLayerPanel(parent); }
};
