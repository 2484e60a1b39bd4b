// The three stored forms of a layer: the layer file (its objects), the
// layer header (its settings, inside a layers section) and the style file
// (its two symbology classes).
#include <algorithm>

#include <QFileInfo>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/layers/Layer.h"

namespace {

// Copies the symbology-block attributes of src through dst's property
// writes (line colour first, so the fonts then take their own colours),
// with one notification.
void ApplyBlock(const TThemeClass& src, TThemeClass& dst) {
    dst.BeginUpdate();
    dst.SetLineColor(src.LineColor());
    dst.SetPointStyle(src.PointStyle());
    dst.SetSymbolFont(src.SymbolFont());
    dst.SetSymbol(src.Symbol());
    dst.SetBitmap(QImage());
    dst.SetLineStyle(src.LineStyle());
    dst.SetLineWidth(src.LineWidth());
    dst.SetFillColor(src.FillColor());
    dst.SetFillStyle(src.FillStyle());
    dst.SetFillTexture(QImage());
    dst.SetTextFont(src.TextFont());
    dst.EndUpdate();
}

std::uint8_t VisibilityByte(bool visible, bool legendVisible) {
    return static_cast<std::uint8_t>((visible ? 2 : 1) * (legendVisible ? 3 : 1));
}

// The end of a layer file: the line "EOF" right after the counted records,
// then nothing but line ends and blanks. A record where "EOF" should be
// means the count is below the records the file holds.
void ReadEndOfObjects(TStream& s, std::int32_t count) {
    const std::int64_t at = s.Position();
    const QString end = StreamReadLine(s);
    if (end.compare(u"EOF", Qt::CaseInsensitive) != 0) {
        if (!end.isEmpty() && IsObjectClassRegistered(QString(u'T' + end)))
            throw EFormatError(QStringLiteral("The file holds more objects than its count %1: a %2 record follows at offset %3")
                                   .arg(count)
                                   .arg(end)
                                   .arg(at));
        throw EFormatError(QStringLiteral("\"EOF\" expected but \"%1\" found at offset %2").arg(end).arg(at));
    }
    for (std::int64_t left = s.Remaining(); left > 0;) {
        const auto bytes = s.Peek();
        if (bytes.empty()) break;
        const std::size_t n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(left));
        for (std::size_t i = 0; i < n; ++i)
            if (bytes[i] > ' ' && bytes[i] != 0x1A)
                throw EFormatError(QStringLiteral("Bytes follow \"EOF\" at offset %1").arg(s.Position() + static_cast<std::int64_t>(i)));
        s.Skip(n);
        left -= static_cast<std::int64_t>(n);
    }
}

}  // namespace

// ---------------------------------------------------------------- layer file

void TLayer::WriteObjects(TStream& s) const {
    WriteInt32(s, CoordinateUnitToCode(coordinateUnits_));
    const int n = GetObjectCount();
    WriteInt32(s, n);
    for (int i = 0; i < n; ++i) {
        WriteObjectRecord(*objects_[static_cast<std::size_t>(i)], s);
        const_cast<TLayer*>(this)->DoProgress(i + 1, n);
    }
    StreamWriteLine(s, u"EOF");
}

void TLayer::ReadObjects(TStream& s) {
    LayerChanging();
    const TCoordinateUnit units = CodeToCoordinateUnit(ReadInt32(s));
    const std::int32_t count = ReadInt32(s);
    CheckCount(s, count, kMinObjectRecordBytes, "object");
    std::vector<std::unique_ptr<TVisualObject>> read;
    read.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<TVisualObject> o = ReadObjectRecord(s);
        DoProgress(i + 1, count);
        if (auto* d = dynamic_cast<TDrawingObject*>(o.get())) d->ApplyThemeClass(*defaults_);
        read.push_back(std::move(o));
    }
    ReadEndOfObjects(s, count);
    coordinateUnits_ = units;
    objects_.reserve(objects_.size() + read.size());
    ++revision_;
    for (auto& o : read) {
        o->SetParent(this);
        objects_.push_back(std::move(o));
    }
    if (count > 0) {
        indexValid_ = false;
        boundsValid_ = false;
    }
}

void TLayer::WriteLayerFile(const QString& path) const {
    TAtomicFile file(path);
    WriteObjects(file.Stream());
    file.Commit();
}

void TLayer::ReadLayerFile(const QString& path) {
    LayerChanging();
    // Listeners hear of the load once, when it is over; the layer is not
    // drawn half-read meanwhile.
    BeginUpdate();
    loading_.Set(*this, true);
    struct TDone {
        TLayer& l;
        ~TDone() {
            l.loading_.Set(l, false);
            l.Changed();
            l.EndUpdate();
        }
    } done{*this};
    TFileStream file(path, TFileStream::fmOpenRead);
    // What is wrong inside the file is told with the file's name.
    try {
        ReadObjects(file);
    } catch (const EFormatError& e) {
        throw EFormatError(QStringLiteral("%1: %2").arg(path, e.Message()));
    } catch (const EReadError& e) {
        throw EReadError(QStringLiteral("%1: %2").arg(path, e.Message()));
    }
}

void TLayer::SaveToFile(const QString& fileName) {
    WriteLayerFile(fileName);
    const QFileInfo fi(fileName);
    databaseName_ = fi.absolutePath();
    layerName_ = fi.fileName();
    fileCreated_ = true;
}

void TLayer::LoadFromFile(const QString& fileName) {
    ReadLayerFile(fileName);
    const QFileInfo fi(fileName);
    databaseName_ = fi.absolutePath();
    layerName_ = fi.fileName();
    fileCreated_ = true;
}

// ---------------------------------------------------------------- header

void TLayer::WriteHeader(TStream& s) const {
    WriteTextLine(s, databaseName_);
    WriteTextLine(s, layerName_);
    WriteTextLine(s, caption_);
    WriteByte(s, VisibilityByte(visible_, legendVisible_));
    defaults_->WriteBlock(s);
    selectionHilite_->WriteBlock(s);
    WriteByte(s, frozen_ ? 1 : 0);
    WriteByte(s, readOnly_ ? 1 : 0);
}

void TLayer::ReadHeader(TStream& s) {
    LayerChanging();
    // Everything is read before anything is stored: a damaged header
    // leaves the layer as it was.
    QString database = ReadTextLine(s);
    QString name = ReadTextLine(s);
    QString caption = ReadTextLine(s);
    const std::uint8_t visibility = ReadByte(s);
    TThemeClass defaults, hilite;
    defaults.ReadBlock(s);
    hilite.ReadBlock(s);
    const bool frozen = ReadByte(s) == 1;
    const bool readOnly = ReadByte(s) == 1;

    databaseName_ = std::move(database);
    layerName_ = std::move(name);
    caption_ = std::move(caption);
    visible_.Set(*this, visibility % 2 == 0);
    legendVisible_ = visibility % 3 == 0;
    ApplyBlock(defaults, *defaults_);
    ApplyBlock(hilite, *selectionHilite_);
    frozen_ = frozen;
    readOnly_ = readOnly;
}

// ---------------------------------------------------------------- style

void TLayer::WriteStyle(TStream& s) const {
    defaults_->WriteBlock(s);
    selectionHilite_->WriteBlock(s);
}

void TLayer::ReadStyle(TStream& s) {
    LayerChanging();
    TThemeClass defaults, hilite;
    defaults.ReadBlock(s);
    hilite.ReadBlock(s);
    ApplyBlock(defaults, *defaults_);
    ApplyBlock(hilite, *selectionHilite_);
}

void TLayer::LoadStyleFromFile(const QString& fileName) {
    BeforeStyleLoad();
    TFileStream file(fileName, TFileStream::fmOpenRead);
    ReadStyle(file);
}

void TLayer::SaveStyleToFile(const QString& fileName) const {
    TAtomicFile file(fileName);
    WriteStyle(file.Stream());
    file.Commit();
}
