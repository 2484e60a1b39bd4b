#pragma once
// TImageObject: a raster image (an orthophoto, a scanned sheet) stretched
// between two map points, with the size of one image pixel in map units
// kept in step with them.
//
// The picture is shared with every other object (and copy) naming the
// same file: its header is read when the object is loaded, its pixels are
// decoded when it is drawn, at the preview level that covers the size it
// is drawn at (full resolution only when drawn that large, and never
// beyond the pixel bound).
//
// Ownership: the object owns both stretch points; it shares the picture
// (TSharedPicture) and holds the level it last drew.
#include <memory>

#include <QImage>
#include <QString>

#include "engine/objects/VisualObject.h"

class TPoint;
class TSharedPicture;

class TImageObject : public TVisualObject {
public:
    TImageObject();
    ~TImageObject() override;
    QString ClassName() const override { return QStringLiteral("TImageObject"); }

    // The folder and file name of the image, as given or stored (case kept).
    const QString& DatabaseName() const { return databaseName_; }
    const QString& ImageName() const { return imageName_; }
    TPoint& LowerStretch() const { return *lower_; }
    TPoint& UpperStretch() const { return *upper_; }
    bool KeepAspectRatio() const { return keepAspectRatio_; }
    // Stores the flag; when set and the two pixel sizes differ, the Y size
    // takes the X size.
    void SetKeepAspectRatio(bool v);
    // With an image loaded, the X size is first taken from the stretch
    // width over the image width; then, when the aspect is kept and the
    // sizes differ, the Y size takes it (which moves the upper Y corner).
    double XPixelSize();
    double YPixelSize();
    // A size above 0 is stored and, with an image loaded, moves the upper
    // corner to lower + image extent * size; 0 or less stores 0. Then the
    // other size follows when the aspect is kept.
    void SetXPixelSize(double v);
    void SetYPixelSize(double v);
    // The stored sizes, untouched by the getters' updates.
    double StoredXPixelSize() const { return xPixelSize_; }
    double StoredYPixelSize() const { return yPixelSize_; }
    // Whether a picture is loaded (its header read).
    bool HasImage() const { return picture_ != nullptr; }
    // The picture's full size, upright (empty without one).
    QSize ImageSize() const;
    // The picture at the finest level the pixel bound allows, decoded on
    // demand; null without a picture or when it cannot be decoded (see
    // ImageError).
    QImage Image() const;
    // The shared picture, or null.
    const std::shared_ptr<TSharedPicture>& Picture() const { return picture_; }
    // Why the picture is not (wholly) shown: refused on loading (too large,
    // no picture, a damaged header) or damaged when decoded. Empty when
    // all is well, and when the file is simply missing.
    QString ImageError() const;

    // DatabaseName := the folder of the path, ImageName := its file name,
    // both as given; the picture is that of the file the path names on
    // this machine (ResolvePath). Raises EFileError when it names no
    // readable picture or one too large to be shown.
    void LoadImage(const QString& path);

    // A copy with the same names, corners, pixel sizes, flag and picture;
    // it never reads the file, so an image whose file is missing copies
    // too.
    std::unique_ptr<TVisualObject> Clone() const override;
    // Reading resolves the stored names against the folder of the layer
    // file being read (when the stream is a file) and loads the image when
    // it is found; a missing or unreadable file leaves no image, and the
    // object draws as its placeholder.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    // The image fills exactly the screen rectangle of its map corners; a
    // selected image gets a frame two pixels outside. Without an image, a
    // rectangle with the current pen and a white (selected: highlight
    // line colour) brush.
    void Draw(TDrawContext& dc) override;

    double GetLowerX() const override;
    double GetLowerY() const override;
    double GetUpperX() const override;
    double GetUpperY() const override;
    // The screen extent of the corners plus the frame (4 pixels).
    int GetPixelHeight() const override;
    int GetPixelWidth() const override;

    // Both corners inside the rectangle.
    bool InRect(double x1, double y1, double x2, double y2) const override;
    // The image rectangle and the given one share a point.
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    void Move(double dx, double dy) override;
    // About the centre of the bounds.
    void Scale(double factor) override;
    // An image is never turned: Rotate does nothing.

private:
    std::unique_ptr<TPoint> lower_;
    std::unique_ptr<TPoint> upper_;
    bool keepAspectRatio_ = false;
    double xPixelSize_ = 0;
    double yPixelSize_ = 0;
    QString databaseName_;
    QString imageName_;
    std::shared_ptr<TSharedPicture> picture_;
    QImage shown_;  // the level last drawn
    int shownLevel_ = -1;
    mutable QString error_;  // why the picture was refused or not decoded

    // The picture for a screen rectangle of that size, or null.
    QImage ShownImage(QSize size);
};

// Registers TImageObject for the object record stream.
void RegisterImageObjectClass();
