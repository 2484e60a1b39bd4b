#include "platform/tablet/Tablet.h"

#include <cmath>

#include <QGuiApplication>
#include <QInputDevice>
#include <QPointingDevice>
#include <QScreen>
#include <QTabletEvent>
#include <QtGlobal>

namespace {

bool IsTabletDevice(const QInputDevice* d) {
    if (d == nullptr) return false;
    const auto t = d->type();
    return t == QInputDevice::DeviceType::Stylus || t == QInputDevice::DeviceType::Airbrush ||
           t == QInputDevice::DeviceType::Puck;
}

// The area a device is mapped onto: its own geometry, else the screens'.
QRectF MappedArea(const QInputDevice* device) {
    QRectF r;
    if (device != nullptr) r = device->availableVirtualGeometry();
    if (r.isEmpty() && QGuiApplication::primaryScreen() != nullptr)
        r = QGuiApplication::primaryScreen()->virtualGeometry();
    return r;
}

}  // namespace

void TTablet::Open(QObject* window) {
    const QInputDevice* found = IsTabletDevice(device_.data()) ? device_.data() : nullptr;
    if (found == nullptr)
        for (const QInputDevice* d : QInputDevice::devices())
            if (IsTabletDevice(d)) {
                found = d;
                break;
            }
    OpenDevice(window, found);
}

void TTablet::OpenDevice(QObject* window, const QInputDevice* device) {
    window_ = window;
    if (!IsTabletDevice(device)) {
        Fail();
        return;
    }
    device_ = device;
    ioError_ = false;
    open_ = true;
    enabled_ = false;
    SetExtent(MappedArea(device));
}

void TTablet::Fail() {
    ioError_ = true;
    open_ = false;
    enabled_ = false;
    if (OnServiceError) OnServiceError(ServiceErrorText());
    else qWarning("%s", qPrintable(ServiceErrorText()));
}

void TTablet::Close() {
    SetEnabled(false);
    open_ = false;
}

void TTablet::SetEnabled(bool v) {
    if (v == enabled_ || ioError_ || !open_) return;
    enabled_ = v;
}

void TTablet::SetArea(double lowerX, double lowerY, double upperX, double upperY) {
    lowerX_ = lowerX;
    lowerY_ = lowerY;
    upperX_ = upperX;
    upperY_ = upperY;
    UpdateScales();
}

void TTablet::SetExtent(const QRectF& geometry) {
    geometry_ = geometry;
    extent_ = QRectF(0, 0, geometry.width() * kCountsPerPixel, geometry.height() * kCountsPerPixel);
    UpdateScales();
}

void TTablet::UpdateScales() {
    xScale_ = extent_.width() > 0 ? (upperX_ - lowerX_) / extent_.width() : 0;
    yScale_ = extent_.height() > 0 ? (upperY_ - lowerY_) / extent_.height() : 0;
}

bool TTablet::HandleTabletEvent(const QTabletEvent& event) {
    if (!enabled_ || !open_) return false;
    const QRectF area = MappedArea(event.pointingDevice());
    if (area != geometry_) {
        SetExtent(area);
        DoInfoChange();
    }
    const QPointF g = event.globalPosition();
    const auto count = [](double v) {
        const double c = std::nearbyint(v * kCountsPerPixel);
        return static_cast<int>(std::fmax(std::fmin(c, 2e9), -2e9));
    };
    const int x = count(g.x() - geometry_.left());
    const int y = count(geometry_.bottom() - g.y());
    int buttons = 0;
    switch (event.type()) {
    case QEvent::TabletPress:
        buttons = event.button() == Qt::LeftButton ? 1 : 2;
        break;
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        buttons = 0;
        break;
    default:
        return false;
    }
    highButtons_ = static_cast<int>(event.buttons()) >> 16;
    Packet(buttons, x, y);
    return true;
}

void TTablet::Packet(int buttons, int x, int y) {
    buttons_ = buttons & 0xFFFF;
    x_ = x;
    y_ = y;
    DoPacket();
}
