#pragma once
// TTablet: a digitizer tablet driving a map view. The tablet is read
// through the window system's tablet events (the view hands each one to
// HandleTabletEvent); a packet holds the buttons word and the pen position
// in tablet counts, and OnPacket tells the view about it.
//
// Counts: 10 to a device-independent pixel of the area the tablet is mapped
// onto (the device's virtual geometry, or the screens when the device does
// not say), x to the right and y upwards from the area's lower-left corner.
// The world rectangle set with SetArea is spread over that extent, so
// world = LowerX + count * XScale (and the same for y).
//
// Buttons word of a packet: 0 pen moved, 1 tip pressed, 2 any other button
// pressed. A press gives one packet; holding the button gives moves.
//
// Without a tablet Open sets IOError and reports "WINTAB services are not
// available!" through OnServiceError, once per failed Open.
#include <functional>

#include <QInputDevice>
#include <QPointer>
#include <QRectF>
#include <QString>

class QObject;
class QTabletEvent;

class TTablet {
public:
    using TNotifyEvent = std::function<void(TTablet& sender)>;
    using TMessageEvent = std::function<void(const QString& message)>;

    static constexpr double kCountsPerPixel = 10.0;

    TTablet() = default;
    ~TTablet() { enabled_ = false; }
    TTablet(const TTablet&) = delete;
    TTablet& operator=(const TTablet&) = delete;

    // Looks for a tablet and opens it on the window (disabled): the device
    // opened last, while it still exists, else the first tablet among the
    // input devices. Without one: IOError, the message, nothing open.
    void Open(QObject* window);
    // The same with a given device (nullptr: none).
    void OpenDevice(QObject* window, const QInputDevice* device);
    // Disables and forgets the device.
    void Close();
    bool IsOpen() const { return open_; }
    QObject* Window() const { return window_; }

    bool IOError() const { return ioError_; }
    bool Enabled() const { return enabled_; }
    // Nothing when unchanged, when IOError or when not open.
    void SetEnabled(bool v);

    int Height() const { return height_; }
    void SetHeight(int v) { height_ = v; }
    int Width() const { return width_; }
    void SetWidth(int v) { width_ = v; }

    // The world rectangle covered by the tablet; the scales follow from the
    // tablet's extent (set again when the device's extent changes).
    void SetArea(double lowerX, double lowerY, double upperX, double upperY);
    double LowerX() const { return lowerX_; }
    double LowerY() const { return lowerY_; }
    double UpperX() const { return upperX_; }
    double UpperY() const { return upperY_; }
    double XScale() const { return xScale_; }
    double YScale() const { return yScale_; }
    // The tablet's extent in counts.
    QRectF Extent() const { return extent_; }

    int GetButtons() const { return buttons_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    double TabletToWorldX(double count) const { return lowerX_ + count * xScale_; }
    double TabletToWorldY(double count) const { return lowerY_ + count * yScale_; }
    double GetWorldX() const { return TabletToWorldX(x_); }
    double GetWorldY() const { return TabletToWorldY(y_); }

    // Takes a tablet event of the window while enabled (true: taken, the
    // window should accept it); false otherwise.
    bool HandleTabletEvent(const QTabletEvent& event);
    // One packet: stores it and fires OnPacket.
    void Packet(int buttons, int x, int y);

    TNotifyEvent OnPacket, OnInfoChange;
    // A failure to reach the tablet; the application shows the text.
    TMessageEvent OnServiceError;

    static QString ServiceErrorText() { return QStringLiteral("WINTAB services are not available!"); }

protected:
    virtual void DoPacket() { if (OnPacket) OnPacket(*this); }
    virtual void DoInfoChange() { if (OnInfoChange) OnInfoChange(*this); }

private:
    void Fail();
    void SetExtent(const QRectF& geometry);
    void UpdateScales();

    QObject* window_ = nullptr;
    QPointer<const QInputDevice> device_;  // the device opened last
    bool open_ = false;
    bool ioError_ = false;
    bool enabled_ = false;
    int height_ = 50000, width_ = 50000;
    int buttons_ = 0, highButtons_ = 0;
    int x_ = 0, y_ = 0;
    double xScale_ = 0, yScale_ = 0;
    double lowerX_ = 0, lowerY_ = 0, upperX_ = 0, upperY_ = 0;
    QRectF geometry_;  // the mapped area, in device-independent pixels
    QRectF extent_;    // the same in counts, from (0, 0)
};
