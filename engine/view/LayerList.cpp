#include "engine/view/LayerList.h"

#include <QMouseEvent>
#include <QScrollBar>

#include "engine/layers/Layer.h"
#include "engine/layers/Layers.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/Drawing.h"

// ---------------------------------------------------------------- rows

TLayerPanel::TLayerPanel(QWidget* parent)
    : QFrame(parent), checkBox_(new QCheckBox(this)), label_(new QLabel(QStringLiteral("LayerPanel"), this)),
      legends_(new TLegends(this)) {
    setFrameShape(QFrame::Panel);
    setLineWidth(3);
    SetRaised(false);
    checkBox_->setGeometry(6, 6, 12, 12);
    label_->setGeometry(20, 6, std::max(width() - 20, 0), 12);
    legends_->setGeometry(6, 24, std::max(width() - 12, 0), 16);
    QObject::connect(checkBox_, &QCheckBox::clicked, this, [this] { VisibleCheckBoxClick(); });
    // The label and the legends pass presses on to the row.
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    Relayout();
}

TLayerPanel::~TLayerPanel() { Unlink(); }

void TLayerPanel::Unlink() {
    if (layer_) layer_->RemoveChangeLink(this);
    layer_ = nullptr;
}

void TLayerPanel::SetLayer(TLayer* layer) {
    Unlink();
    layer_ = layer;
    if (layer) {
        TChangeLink* link = layer->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { UpdateFromLayer(); };
        link->OnDisconnect = [this](TChangeLink&) { LayerDisconnected(); };
    }
    UpdateFromLayer();
}

void TLayerPanel::LayerDisconnected() { layer_ = nullptr; }

void TLayerPanel::SetRaised(bool v) {
    setFrameShape(v ? QFrame::Panel : QFrame::NoFrame);
    setFrameShadow(v ? QFrame::Raised : QFrame::Plain);
}

void TLayerPanel::UpdateFromLayer() {
    if (layer_ == nullptr) return;
    checkBox_->setChecked(layer_->Visible());
    label_->setText(layer_->Caption());
    label_->setFont(font());
    legends_->setFont(font());
    legends_->setVisible(layer_->LegendVisible());
    SetRaised(layer_->Tag() == 1);
    Relayout();
}

void TLayerPanel::Relayout() {
    // The label is at least 12 pixels high and grows to its font, so that
    // accents of capitals are not cut off; what is below moves down with it.
    const int labelHeight = std::max(12, label_->fontMetrics().height());
    const int grown = labelHeight - 12;
    label_->setGeometry(20, 6, std::max(width() - 20, 0), labelHeight);
    legends_->setGeometry(6, 24 + grown, std::max(width() - 12, 0), legends_->height());
    const int h = legends_->isVisibleTo(this) ? checkBox_->height() + legends_->height() + 22 + grown
                                               : checkBox_->height() + 12 + grown;
    if (height() != h) resize(width(), h);
}

void TLayerPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    Relayout();
}

void TLayerPanel::VisibleCheckBoxClick() {
    if (layer_ == nullptr || checkBox_->isChecked() == layer_->Visible()) return;
    layer_->SetVisible(checkBox_->isChecked());
    if (auto* view = dynamic_cast<TDrawing*>(layer_->Owner())) view->Redraw();
}

void TLayerPanel::mousePressEvent(QMouseEvent* e) {
    QFrame::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) Press(e->modifiers());
}

void TLayerPanel::Press(Qt::KeyboardModifiers modifiers) {
    if (listBox_) listBox_->RowPressed(*this, modifiers);
}

void TThemeLayerPanel::SetLayer(TLayer* layer) {
    TLayerPanel::SetLayer(layer);
    if (auto* theme = dynamic_cast<TThemeLayer*>(layer)) {
        Legends()->SetThemeLayerType(theme->ThemeLayerType());
        Legends()->SetDefaults(theme->Defaults());
        Legends()->SetThemeClasses(theme->ThemeClasses());
        Relayout();
    }
}

void TThemeLayerPanel::LayerDisconnected() {
    Legends()->SetDefaults(nullptr);
    Legends()->SetThemeClasses(nullptr);
    TLayerPanel::LayerDisconnected();
}

// ---------------------------------------------------------------- list box

TLayerListBox::TLayerListBox(QWidget* parent) : QScrollArea(parent), content_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(content_);
    setWidgetResizable(false);
}

TLayerListBox::~TLayerListBox() {
    Unlink();
    FreeRows();
}

void TLayerListBox::Unlink() {
    if (drawing_) drawing_->Layers().RemoveChangeLink(this);
    drawing_ = nullptr;
}

void TLayerListBox::FreeRows() {
    for (TLayerPanel* r : rows_) delete r;
    rows_.clear();
}

void TLayerListBox::SetDrawing(TDrawing* drawing) {
    Unlink();
    drawing_ = drawing;
    if (drawing) {
        TChangeLink* link = drawing->Layers().AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { Rebuild(); };
        link->OnDisconnect = [this](TChangeLink&) {
            FreeRows();
            drawing_ = nullptr;
        };
    }
    Rebuild();
}

TLayerPanel* TLayerListBox::PanelOf(const TLayer* layer) const {
    if (layer == nullptr) return nullptr;
    for (TLayerPanel* r : rows_)
        if (r->Layer() == layer) return r;
    return nullptr;
}

TLayer* TLayerListBox::PressedRowLayer() const {
    if (pressedIndex_ < 0 || pressedIndex_ >= GetPanelCount()) return nullptr;
    return GetPanel(pressedIndex_)->Layer();
}

void TLayerListBox::Rebuild() {
    FreeRows();
    if (drawing_ == nullptr || !drawing_->Active()) {
        // A closed view lists nothing: rows kept from before would point at
        // layers that closing the view has freed.
        content_->resize(std::max(viewport()->width(), 1), 1);
        return;
    }
    TLayers& layers = drawing_->Layers();
    const int w = std::max(viewport()->width(), 1);
    int y = 0;
    for (int i = 0; i < layers.GetCount(); ++i) {
        TLayer* layer = layers.GetItem(i);
        TLayerPanel* row = CreatePanel(content_);
        row->SetListBox(this);
        row->setGeometry(0, y, w, row->height());
        row->SetLayer(layer);
        row->SetRaised(layer->Tag() == 1 || layer == drawing_->ActiveLayer());
        row->Relayout();
        row->show();
        rows_.push_back(row);
        y += row->height();
    }
    content_->resize(w, std::max(y, 1));
}

void TLayerListBox::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    const int w = std::max(viewport()->width(), 1);
    int y = 0;
    for (TLayerPanel* r : rows_) {
        r->setGeometry(0, y, w, r->height());
        y += r->height();
    }
    content_->resize(w, std::max(y, 1));
}

void TLayerListBox::RowPressed(TLayerPanel& row, Qt::KeyboardModifiers modifiers) {
    if (drawing_ == nullptr || row.Layer() == nullptr) return;
    TLayer* layer = row.Layer();
    row.SetRaised(true);
    drawing_->SetActiveLayer(layer);
    layer->SetTag(1);
    const int n = drawing_->Layers().IndexOf(layer);
    if (n >= 0 && n < GetPanelCount()) GetPanel(n)->SetRaised(true);
    pressedIndex_ = n;
    if (!(modifiers & (Qt::ShiftModifier | Qt::ControlModifier))) {
        for (TLayerPanel* r : rows_) {
            if (r == &row || r->Layer() == nullptr) continue;
            r->Layer()->SetTag(0);
            r->SetRaised(false);
        }
    }
    // The row's click: the list's click, then the pressed row's layer
    // active once more.
    Click();
    if (TLayer* pressed = PressedRowLayer(); pressed && drawing_) drawing_->SetActiveLayer(pressed);
}

void TLayerListBox::Click() {
    if (PressedRowLayer() == nullptr) return;
    if (OnClick) OnClick(*this);
    if (TLayer* pressed = PressedRowLayer(); pressed && drawing_) drawing_->SetActiveLayer(pressed);
    if (OnClick) OnClick(*this);
}
