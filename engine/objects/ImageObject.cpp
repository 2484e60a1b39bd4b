#include "engine/objects/ImageObject.h"

#include <algorithm>

#include <QFileInfo>
#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Paths.h"
#include "core/TextLines.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/Point.h"
#include "engine/objects/ThemeStyle.h"
#include "platform/jpeg/PictureCache.h"

TImageObject::TImageObject()
    : lower_(std::make_unique<TPoint>(0.0, 0.0, 0.0)), upper_(std::make_unique<TPoint>(100.0, 100.0, 0.0)) {}

TImageObject::~TImageObject() = default;

void TImageObject::SetKeepAspectRatio(bool v) {
    Changing();
    keepAspectRatio_ = v;
    if (v) {
        const double x = XPixelSize();
        if (x != YPixelSize()) SetYPixelSize(x);
    }
}

double TImageObject::XPixelSize() {
    if (HasImage()) xPixelSize_ = (upper_->X() - lower_->X()) / ImageSize().width();
    if (keepAspectRatio_ && xPixelSize_ != yPixelSize_) SetYPixelSize(xPixelSize_);
    return xPixelSize_;
}

double TImageObject::YPixelSize() {
    if (HasImage()) yPixelSize_ = (upper_->Y() - lower_->Y()) / ImageSize().height();
    if (keepAspectRatio_ && xPixelSize_ != yPixelSize_) SetXPixelSize(yPixelSize_);
    return yPixelSize_;
}

void TImageObject::SetXPixelSize(double v) {
    Changing();
    if (v > 0) {
        xPixelSize_ = v;
        if (HasImage()) upper_->SetX(lower_->X() + ImageSize().width() * v);
    } else {
        xPixelSize_ = 0;
    }
    if (keepAspectRatio_ && xPixelSize_ != yPixelSize_) SetYPixelSize(xPixelSize_);
}

void TImageObject::SetYPixelSize(double v) {
    Changing();
    if (v > 0) {
        yPixelSize_ = v;
        if (HasImage()) upper_->SetY(lower_->Y() + ImageSize().height() * v);
    } else {
        yPixelSize_ = 0;
    }
    if (keepAspectRatio_ && xPixelSize_ != yPixelSize_) SetXPixelSize(yPixelSize_);
}

QSize TImageObject::ImageSize() const { return picture_ ? picture_->Size() : QSize(); }

QImage TImageObject::Image() const {
    if (!picture_) return {};
    try {
        return picture_->Level(0);
    } catch (const EEngineError& e) {
        error_ = e.Message();
        return {};
    }
}

QString TImageObject::ImageError() const {
    if (error_.isEmpty() && picture_) return picture_->Damage();
    return error_;
}

QImage TImageObject::ShownImage(QSize size) {
    if (!picture_) return {};
    const int level = picture_->LevelFor(size);
    if (shown_.isNull() || level != shownLevel_) {
        shown_ = QImage();  // let the level drawn before go first
        shownLevel_ = level;
        try {
            shown_ = picture_->Level(level);
        } catch (const EEngineError& e) {
            error_ = e.Message();
        }
    }
    return shown_;
}

void TImageObject::LoadImage(const QString& path) {
    Changing();
    auto picture = OpenSharedPicture(ResolvePath(path));
    databaseName_ = ExtractFilePath(path);
    imageName_ = ExtractFileName(path);
    picture_ = std::move(picture);
    shown_ = QImage();
    error_.clear();
}

std::unique_ptr<TVisualObject> TImageObject::Clone() const {
    auto c = std::make_unique<TImageObject>();
    c->lower_->SetX(lower_->X());
    c->lower_->SetY(lower_->Y());
    c->upper_->SetX(upper_->X());
    c->upper_->SetY(upper_->Y());
    c->xPixelSize_ = xPixelSize_;
    c->yPixelSize_ = yPixelSize_;
    c->keepAspectRatio_ = keepAspectRatio_;
    c->databaseName_ = databaseName_;
    c->imageName_ = imageName_;
    c->picture_ = picture_;
    c->shown_ = shown_;
    c->shownLevel_ = shownLevel_;
    c->error_ = error_;
    return c;
}

void TImageObject::LoadFromStream(TStream& stream) {
    Changing();
    TVisualObject::LoadFromStream(stream);
    databaseName_ = StreamReadRequiredLine(stream);
    imageName_ = StreamReadRequiredLine(stream);
    picture_.reset();
    shown_ = QImage();
    error_.clear();
    if (!databaseName_.isEmpty() && !imageName_.isEmpty()) {
        const auto* file = dynamic_cast<const TFileStream*>(&stream);
        const QString path = ResolvePath(JoinPath(databaseName_, imageName_), file ? file->FileName() : QString());
        if (QFileInfo(path).isFile()) {
            try {
                picture_ = OpenSharedPicture(path);
            } catch (const EEngineError& e) {
                error_ = e.Message();
            }
        }
    }
    const double lx = ReadDouble(stream);
    const double ly = ReadDouble(stream);
    const double ux = ReadDouble(stream);
    const double uy = ReadDouble(stream);
    lower_->SetX(lx);
    lower_->SetY(ly);
    upper_->SetX(ux);
    upper_->SetY(uy);
    xPixelSize_ = ReadDouble(stream);
    yPixelSize_ = ReadDouble(stream);
    keepAspectRatio_ = ReadByte(stream) == 1;
}

void TImageObject::SaveToStream(TStream& stream) const {
    TVisualObject::SaveToStream(stream);
    StreamWriteLine(stream, databaseName_);
    StreamWriteLine(stream, imageName_);
    WriteDouble(stream, lower_->X());
    WriteDouble(stream, lower_->Y());
    WriteDouble(stream, upper_->X());
    WriteDouble(stream, upper_->Y());
    WriteDouble(stream, xPixelSize_);
    WriteDouble(stream, yPixelSize_);
    WriteBool(stream, keepAspectRatio_);
}

void TImageObject::Draw(TDrawContext& dc) {
    TVisualObject::Draw(dc);
    TColor brushColor = clWhite;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite))
        brushColor = hilite.LineColor;
    QPainter& p = dc.Painter();
    const QBrush savedBrush = p.brush();
    p.setBrush(ColorToQColor(brushColor));
    // Screen edges of the map rectangle: the image covers the pixels from
    // the left edge up to (not including) the right one, and likewise
    // from the top.
    const int x0 = dc.WorldToScreenX(std::min(lower_->X(), upper_->X()));
    const int x1 = dc.WorldToScreenX(std::max(lower_->X(), upper_->X()));
    const int y0 = dc.WorldToScreenY(std::max(lower_->Y(), upper_->Y()));
    const int y1 = dc.WorldToScreenY(std::min(lower_->Y(), upper_->Y()));
    const bool visible = x1 > x0 && y1 > y0;
    const QImage image = HasImage() && visible ? ShownImage(QSize(x1 - x0, y1 - y0)) : QImage();
    if (!HasImage() || (visible && image.isNull())) {
        // A rectangle whose outline runs along the edge pixels (a one-pixel
        // outline of a w x h QRect covers w + 1 pixels).
        p.drawRect(QRect(x0, y0, x1 - x0 - 1, y1 - y0 - 1));
    } else {
        if (Selected()) p.drawRect(QRect(x0 - 2, y0 - 2, x1 - x0 + 3, y1 - y0 + 3));
        if (visible) p.drawImage(QRect(x0, y0, x1 - x0, y1 - y0), image);
    }
    p.setBrush(savedBrush);
}

double TImageObject::GetLowerX() const { return lower_->X(); }
double TImageObject::GetLowerY() const { return lower_->Y(); }
double TImageObject::GetUpperX() const { return upper_->X(); }
double TImageObject::GetUpperY() const { return upper_->Y(); }

int TImageObject::GetPixelHeight() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    return dc->WorldToScreenY(lower_->Y()) - dc->WorldToScreenY(upper_->Y()) + 4;
}

int TImageObject::GetPixelWidth() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    return dc->WorldToScreenX(upper_->X()) - dc->WorldToScreenX(lower_->X()) + 4;
}

bool TImageObject::InRect(double x1, double y1, double x2, double y2) const {
    return x1 <= lower_->X() && lower_->X() <= x2 && y1 <= lower_->Y() && lower_->Y() <= y2 &&
           x1 <= upper_->X() && upper_->X() <= x2 && y1 <= upper_->Y() && upper_->Y() <= y2;
}

bool TImageObject::CrossesRect(double x1, double y1, double x2, double y2) const {
    const double l = std::min(lower_->X(), upper_->X()), r = std::max(lower_->X(), upper_->X());
    const double b = std::min(lower_->Y(), upper_->Y()), t = std::max(lower_->Y(), upper_->Y());
    return l <= x2 && x1 <= r && b <= y2 && y1 <= t;
}

void TImageObject::Move(double dx, double dy) {
    Changing();
    lower_->SetX(lower_->X() + dx);
    lower_->SetY(lower_->Y() + dy);
    upper_->SetX(upper_->X() + dx);
    upper_->SetY(upper_->Y() + dy);
}

void TImageObject::Scale(double factor) {
    Changing();
    const double cx = (lower_->X() + upper_->X()) / 2, cy = (lower_->Y() + upper_->Y()) / 2;
    lower_->SetX(cx + (lower_->X() - cx) * factor);
    lower_->SetY(cy + (lower_->Y() - cy) * factor);
    upper_->SetX(cx + (upper_->X() - cx) * factor);
    upper_->SetY(cy + (upper_->Y() - cy) * factor);
}

void RegisterImageObjectClass() {
    RegisterObjectClass(QStringLiteral("TImageObject"), [] { return std::make_unique<TImageObject>(); });
}
