#pragma once
// The picture viewer: a picture in a scroll box, zoomed in and out by
// 1.25, shown at its own size or fitted to the box (on every show), and
// printed.
#include <memory>

#include <QDialog>
#include <QImage>
#include <QScrollArea>

class QPrinter;

// The picture control: draws its picture stretched proportionally to its
// own size, centred.
class THotlinkPicture : public QWidget {
public:
    explicit THotlinkPicture(QWidget* parent = nullptr);
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// The scroll box that holds the picture control, centred.
class THotlinkScroll : public QScrollArea {
public:
    explicit THotlinkScroll(QWidget* parent = nullptr);
};

class TlibFormHotLink : public QDialog {
public:
    // The largest side the picture control takes; zooming in stops there.
    static constexpr int kMaxSide = 16384;
    // The smallest side zooming out leaves.
    static constexpr int kMinSide = 4;

    explicit TlibFormHotLink(QWidget* parent = nullptr);
    ~TlibFormHotLink() override;

    // Reads the picture of a file (any format the program reads); raises
    // EFileError or EJpegError when it cannot be read.
    void LoadFromFile(const QString& file);
    void SetPicture(const QImage& picture);

    THotlinkPicture* Hotlink() const { return hotlink_; }
    THotlinkScroll* ScrollHotlink() const { return scroll_; }
    // The printer that PrintHotlink sets up.
    QPrinter& Printer() const { return *printer_; }

    // Sizes of the picture control. The zoom is kept as steps of 1.25 from
    // the last fitted or actual size, so that zooming in and out again
    // comes back to the same size.
    void ZoomIn();
    void ZoomOut();
    void ActualSize();
    void Fit();
    void Print();
    QSize PictureSize() const;

    // The largest rectangle of the picture's proportions inside the
    // area, at the area's top left.
    static QRect ProportionalRect(QSize picture, QRect area);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QSize ZoomedSize(int steps) const;
    // Resizes the control, keeping the picture point at the viewport
    // position `anchor` where it is.
    void Zoom(int steps, QPoint anchor);
    void Resize(QSize size, QPoint anchor);
    THotlinkScroll* scroll_;
    THotlinkPicture* hotlink_;
    std::unique_ptr<QPrinter> printer_;
    QSize base_;
    int steps_ = 0;
};
