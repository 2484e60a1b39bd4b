#include "engine/view/Legends.h"

#include <QPainter>
#include <QResizeEvent>

#include "engine/core/Cp1252.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"

TLegendStyle LegendStyleForLayerType(int type) {
    switch (((type % 10) + 10) % 10) {
    case 0:
    case 4: return lgsPoint;
    case 1: return lgsLine;
    case 2: return lgsPoly;
    case 3: return lgsText;
    default: return lgsAll;
    }
}

// ---------------------------------------------------------------- TLegend

TLegend::TLegend(QWidget* parent) : QWidget(parent) {
    resize(width() > 0 ? width() : 100, kHeight);
    textFont_.Color = lineColor_;
}

TLegend::~TLegend() { Unlink(); }

void TLegend::Unlink() {
    if (themeClass_) themeClass_->RemoveChangeLink(this);
    themeClass_ = nullptr;
}

void TLegend::SetThemeClass(TThemeClass* c) {
    Unlink();
    themeClass_ = c;
    if (c) {
        TChangeLink* link = c->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { UpdateFromThemeClass(); };
        link->OnDisconnect = [this](TChangeLink&) { themeClass_ = nullptr; };
    }
    UpdateFromThemeClass();
}

void TLegend::UpdateFromThemeClass() {
    if (themeClass_) {
        caption_ = themeClass_->ThemeClassName();
        lineColor_ = themeClass_->LineColor();
        pointStyle_ = themeClass_->PointStyle();
        bitmap_ = themeClass_->Bitmap();
        lineStyle_ = themeClass_->LineStyle();
        lineWidth_ = themeClass_->LineWidth();
        fillStyle_ = themeClass_->FillStyle();
        fillColor_ = themeClass_->FillColor();
        fillTexture_ = themeClass_->FillTexture();
        symbolFont_ = themeClass_->SymbolFont();
        textFont_ = themeClass_->TextFont();
        symbol_ = themeClass_->Symbol();
    }
    update();
}

void TLegend::SetLegendStyle(TLegendStyle v) { legendStyle_ = v; update(); }
void TLegend::SetCaption(const QString& v) { caption_ = v; update(); }
void TLegend::SetBitmap(const QImage& v) { bitmap_ = v; update(); }
void TLegend::SetFillTexture(const QImage& v) { fillTexture_ = v; update(); }
void TLegend::SetLineColor(TColor v) { lineColor_ = v; update(); }
void TLegend::SetPointStyle(TPointStyle v) { pointStyle_ = v; update(); }
void TLegend::SetFillStyle(TFillStyle v) { fillStyle_ = v; update(); }
void TLegend::SetFillColor(TColor v) { fillColor_ = v; update(); }
void TLegend::SetLineWidth(int v) { lineWidth_ = v; update(); }

void TLegend::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

void TLegend::PaintTo(QPainter& p) const {
    const int m = height() / 2;
    const QColor line = ColorToQColor(lineColor_);
    p.save();
    switch (legendStyle_) {
    case lgsText: {
        p.setFont(textFont_.ToQFont());
        p.setPen(ColorToQColor(textFont_.Color));
        const int h = p.fontMetrics().height();
        p.drawText(QRect(3, m - h / 2, 22, h + 1), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("T"));
        break;
    }
    case lgsPoint:
        if (pointStyle_ == psPoint) {
            p.setPen(line);
            p.setBrush(line);
            const int w = lineWidth_;
            p.drawEllipse(QRect(13 - w, m - w, 2 * w, 2 * w));
        } else if (pointStyle_ == psSymbol) {
            p.setFont(symbolFont_.ToQFont());
            p.setPen(ColorToQColor(symbolFont_.Color));
            const QString text = Cp1252ToString(QByteArray(1, static_cast<char>(symbol_)));
            const int th = p.fontMetrics().height(), tw = p.fontMetrics().horizontalAdvance(text);
            p.drawText(QRect(13 - tw / 2, m - th / 2, tw + 2, th + 2), Qt::AlignLeft | Qt::AlignTop, text);
        } else if (!bitmap_.isNull()) {
            // Any size fits the 16 x 16 sample, keeping its proportions.
            const QImage img = bitmap_.size() == QSize(16, 16) ? bitmap_
                                                                : bitmap_.scaled(16, 16, Qt::KeepAspectRatio);
            p.drawImage(QPoint(3 + (16 - img.width()) / 2, m - 8 + (16 - img.height()) / 2), img);
        }
        break;
    case lgsLine: {
        QPen pen(line, lineWidth_, LineStyleToPenStyle(lineStyle_));
        p.setPen(pen);
        const QPoint zig[] = {{3, m + 8}, {13, m - 4}, {13, m + 4}, {25, m - 8}};
        p.drawPolyline(zig, 4);
        break;
    }
    case lgsPoly: {
        p.setPen(QPen(line, lineWidth_, LineStyleToPenStyle(lineStyle_)));
        if (fillStyle_ == fsTransparent) {
            p.setBrush(Qt::NoBrush);
        } else if (fillStyle_ == fsTexture && !fillTexture_.isNull()) {
            p.setBrush(QBrush(fillTexture_));
        } else {
            p.setBrush(QBrush(ColorToQColor(fillColor_), FillStyleToBrushStyle(fillStyle_)));
        }
        p.drawRect(QRect(QPoint(3, m - 8), QPoint(25, m + 8)));
        break;
    }
    case lgsAll: break;
    }
    p.restore();
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const int h = p.fontMetrics().height();
    p.drawText(QRect(28, m - h / 2, std::max(width() - 31, 0), h + 1), Qt::AlignLeft | Qt::AlignTop, caption_);
}

// ---------------------------------------------------------------- TLegends

TLegends::TLegends(QWidget* parent) : QWidget(parent) { setEnabled(false); }

TLegends::~TLegends() {
    UnlinkDefaults();
    UnlinkClasses();
}

void TLegends::UnlinkDefaults() {
    if (defaults_) defaults_->RemoveChangeLink(this);
    defaults_ = nullptr;
}

void TLegends::UnlinkClasses() {
    if (themeClasses_) themeClasses_->RemoveChangeLink(this);
    themeClasses_ = nullptr;
}

void TLegends::SetThemeLayerType(int v) {
    themeLayerType_ = v;
    Rebuild();
}

namespace {
void FreeEntries(std::vector<TLegend*>& entries) {
    for (TLegend* e : entries) delete e;
    entries.clear();
}
}  // namespace

void TLegends::SetDefaults(TThemeClass* v) {
    UnlinkDefaults();
    defaults_ = v;
    if (v) {
        TChangeLink* link = v->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { Rebuild(); };
        link->OnDisconnect = [this](TChangeLink&) {
            FreeEntries(entries_);
            defaults_ = nullptr;
            UnlinkClasses();
        };
    }
    Rebuild();
}

void TLegends::SetThemeClasses(TThemeClasses* v) {
    UnlinkClasses();
    themeClasses_ = v;
    if (v) {
        TChangeLink* link = v->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { Rebuild(); };
        link->OnDisconnect = [this](TChangeLink&) {
            FreeEntries(entries_);
            themeClasses_ = nullptr;
            UnlinkDefaults();
        };
    }
    Rebuild();
}

void TLegends::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (TLegend* e : entries_) e->resize(width(), e->height());
}

void TLegends::Rebuild() {
    FreeEntries(entries_);
    if (defaults_ == nullptr || themeClasses_ == nullptr) return;
    int y = 0;
    auto make = [this, &y](TThemeClass* c) {
        auto* e = new TLegend(this);
        e->setFont(font());
        e->SetLegendStyle(LegendStyleForLayerType(themeLayerType_));
        e->SetThemeClass(c);
        e->setGeometry(0, y, width(), TLegend::kHeight);
        e->show();
        entries_.push_back(e);
        y += e->height();
    };
    for (int i = 0; i < themeClasses_->GetCount(); ++i) make(themeClasses_->GetItem(i));
    if (themeClasses_->GetCount() == 0) make(defaults_);
    resize(width(), std::max(y, 1));
}
