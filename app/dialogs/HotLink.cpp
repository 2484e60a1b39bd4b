#include "app/dialogs/HotLink.h"

#include <algorithm>
#include <cmath>

#include <QHBoxLayout>
#include <QPageLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/dialogs/Modal.h"
#include "app/dialogs/Pictures.h"
#include "platform/jpeg/Picture.h"

namespace {
constexpr double kZoomFactor = 1.25;
}

// ---- the picture control

THotlinkPicture::THotlinkPicture(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Hotlink"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void THotlinkPicture::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void THotlinkPicture::paintEvent(QPaintEvent* event) {
    if (picture_.isNull()) return;
    QRect target = TlibFormHotLink::ProportionalRect(picture_.size(), rect());
    target.moveCenter(rect().center());
    // Only the exposed part is drawn, from the matching part of the
    // picture, so that a large zoom scales no more than the screen shows.
    const QRect shown = target & event->rect();
    if (shown.isEmpty()) return;
    const double sx = double(picture_.width()) / target.width();
    const double sy = double(picture_.height()) / target.height();
    const QRectF source((shown.left() - target.left()) * sx, (shown.top() - target.top()) * sy, shown.width() * sx,
                        shown.height() * sy);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, sx > 1 || sy > 1);
    painter.drawImage(QRectF(shown), picture_, source);
}

// ---- the scroll box

THotlinkScroll::THotlinkScroll(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("ScrollHotlink"));
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
}

// ---- the viewer

TlibFormHotLink::TlibFormHotLink(QWidget* parent) : QDialog(parent), printer_(std::make_unique<QPrinter>()) {
    InitDialogPictures();
    setObjectName(QStringLiteral("lib_hotlink"));
    setWindowTitle(QStringLiteral("Hot Link"));
    auto* layout = new QVBoxLayout(this);
    auto* bars = new QHBoxLayout;
    auto* view = new QToolBar(this);
    view->setObjectName(QStringLiteral("ToolBarVisualizar"));
    auto* print = new QToolBar(this);
    print->setObjectName(QStringLiteral("ToolBarImprimir"));
    view->addAction(DialogIcon(QStringLiteral("zoom_in")), QStringLiteral("Aproximar"), this, &TlibFormHotLink::ZoomIn);
    view->addAction(DialogIcon(QStringLiteral("zoom_out")), QStringLiteral("Afastar"), this, &TlibFormHotLink::ZoomOut);
    view->addAction(DialogIcon(QStringLiteral("actual_size")), QStringLiteral("Tamanho Real"), this,
                    &TlibFormHotLink::ActualSize);
    view->addAction(DialogIcon(QStringLiteral("fit")), QStringLiteral("Ajustar à Janela"), this, &TlibFormHotLink::Fit);
    print->addAction(DialogIcon(QStringLiteral("print")), QStringLiteral("Imprimir"), this, &TlibFormHotLink::Print);
    bars->addWidget(view);
    bars->addWidget(print);
    bars->addStretch(1);
    layout->addLayout(bars);
    scroll_ = new THotlinkScroll(this);
    hotlink_ = new THotlinkPicture;
    scroll_->setWidget(hotlink_);
    layout->addWidget(scroll_, 1);
    resize(800, 600);
}

TlibFormHotLink::~TlibFormHotLink() = default;

void TlibFormHotLink::LoadFromFile(const QString& file) { SetPicture(LoadPicture(file)); }

void TlibFormHotLink::SetPicture(const QImage& picture) {
    hotlink_->SetPicture(picture);
    if (isVisible()) Fit();
}

QSize TlibFormHotLink::PictureSize() const { return hotlink_->size(); }

QRect TlibFormHotLink::ProportionalRect(QSize picture, QRect area) {
    if (picture.isEmpty() || area.isEmpty()) return QRect(area.topLeft(), QSize(0, 0));
    const double scale = std::min(double(area.width()) / picture.width(), double(area.height()) / picture.height());
    const int w = std::clamp(int(std::lround(picture.width() * scale)), 1, area.width());
    const int h = std::clamp(int(std::lround(picture.height() * scale)), 1, area.height());
    return QRect(area.topLeft(), QSize(w, h));
}

QSize TlibFormHotLink::ZoomedSize(int steps) const {
    const double f = std::pow(kZoomFactor, steps);
    return QSize(int(std::lround(base_.width() * f)), int(std::lround(base_.height() * f)));
}

void TlibFormHotLink::Zoom(int steps, QPoint anchor) {
    if (base_.isEmpty()) return;
    int to = steps_;
    // One step at a time, as far as the bounds allow: a step in stops
    // before a side passes kMaxSide, a step out before one falls below
    // kMinSide.
    for (int s = 0; s != steps; s += steps > 0 ? 1 : -1) {
        const QSize size = ZoomedSize(to + (steps > 0 ? 1 : -1));
        if (steps > 0 ? size.width() > kMaxSide || size.height() > kMaxSide
                      : size.width() < kMinSide || size.height() < kMinSide)
            break;
        to += steps > 0 ? 1 : -1;
    }
    if (to == steps_) return;
    steps_ = to;
    Resize(ZoomedSize(steps_), anchor);
}

void TlibFormHotLink::ZoomIn() { Zoom(1, scroll_->viewport()->rect().center()); }

void TlibFormHotLink::ZoomOut() { Zoom(-1, scroll_->viewport()->rect().center()); }

void TlibFormHotLink::ActualSize() {
    QSize size = hotlink_->Picture().size();
    if (size.isEmpty()) return;
    // A picture beyond the bound is shown at the bound.
    if (size.width() > kMaxSide || size.height() > kMaxSide) size.scale(kMaxSide, kMaxSide, Qt::KeepAspectRatio);
    base_ = size;
    steps_ = 0;
    Resize(size, scroll_->viewport()->rect().center());
}

void TlibFormHotLink::Fit() {
    base_ = scroll_->maximumViewportSize().boundedTo(QSize(kMaxSide, kMaxSide)).expandedTo(QSize(kMinSide, kMinSide));
    steps_ = 0;
    Resize(base_, scroll_->viewport()->rect().center());
}

void TlibFormHotLink::Resize(QSize size, QPoint anchor) {
    const QSize old = hotlink_->size();
    // The picture point under the anchor, as a share of the control.
    const QPoint at = hotlink_->mapFrom(scroll_->viewport(), anchor);
    const double fx = old.width() > 0 ? double(at.x()) / old.width() : 0.5;
    const double fy = old.height() > 0 ? double(at.y()) / old.height() : 0.5;
    hotlink_->resize(size);
    scroll_->horizontalScrollBar()->setValue(int(std::lround(fx * size.width() - anchor.x())));
    scroll_->verticalScrollBar()->setValue(int(std::lround(fy * size.height() - anchor.y())));
    hotlink_->update();
}

void TlibFormHotLink::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Fit();
}

void TlibFormHotLink::Print() {
    QPrintDialog dialog(printer_.get(), this);
    dialog.setObjectName(QStringLiteral("PrintHotlink"));
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QImage& picture = hotlink_->Picture();
    if (picture.isNull()) return;
    QPainter painter;
    if (!painter.begin(printer_.get())) return;
    // The painter's origin is the printable area's top left; the picture
    // keeps its proportions inside that area.
    const QRect area(QPoint(0, 0), printer_->pageLayout().paintRectPixels(printer_->resolution()).size());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(ProportionalRect(picture.size(), area), picture);
    painter.end();
}
