// The drawing file: the view's settings, its layers section and its active
// layer, binary, little-endian, without magic number or version.
#include <QFileInfo>

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/view/Drawing.h"

namespace {

const QString kPointName = QStringLiteral("POINT");
const QString kPointEnd = QStringLiteral("EPOINT");

// A Boolean byte counts as True only when it is exactly 1.
bool ReadFlag(TStream& s) { return ReadByte(s) == 1; }

void WritePointRecord(TStream& s, std::int64_t key, const TVertex& v) {
    StreamWriteLine(s, kPointName);
    WriteInt64(s, key);
    WriteDouble(s, v.X);
    WriteDouble(s, v.Y);
    WriteDouble(s, v.Z);
    StreamWriteLine(s, kPointEnd);
}

// The view's points are always point records: another class name, or a
// record without its end line, is a damaged file.
TVertex ReadPointRecord(TStream& s, std::int64_t& key) {
    const QString name = StreamReadRequiredLine(s);
    if (name.compare(kPointName, Qt::CaseInsensitive) != 0)
        throw EFormatError(QStringLiteral("Expected a point record, found \"%1\"").arg(name));
    key = ReadInt64(s);
    TVertex v;
    v.X = ReadDouble(s);
    v.Y = ReadDouble(s);
    v.Z = ReadDouble(s);
    StreamExpectLine(s, kPointEnd);
    return v;
}

}  // namespace

QString TDrawing::DrawingPath() const { return JoinPath(databaseName_, drawingName_); }

std::function<void()> TDrawing::ReadPrefix(TStream&) { return {}; }
void TDrawing::WritePrefix(TStream&) {}

void TDrawing::SaveToStream(TStream& s) {
    WritePrefix(s);
    StreamWriteLine(s, author_);
    StreamWriteLine(s, organization_);
    WritePointRecord(s, pointKeys_[0], lowerLimit_);
    WritePointRecord(s, pointKeys_[1], upperLimit_);
    WritePointRecord(s, pointKeys_[2], viewMin_);
    WritePointRecord(s, pointKeys_[3], viewMax_);
    WriteDouble(s, snapX_);
    WriteDouble(s, snapY_);
    WriteDouble(s, snapAngle_);
    WriteBool(s, snapEnabled_);
    WriteDouble(s, gridX_);
    WriteDouble(s, gridY_);
    WriteBool(s, gridEnabled_);
    WriteBool(s, ortho_);
    WriteInt32(s, DistanceUnitToCode(distanceUnits_));
    WriteInt32(s, AngleUnitToCode(angleUnits_));
    WriteInt32(s, distancePrecision_);
    WriteInt32(s, anglePrecision_);
    WriteInt32(s, color_);
    WriteLayersSection(s);
    WriteInt32(s, ActiveLayerIndex());
}

void TDrawing::LoadFromStream(TStream& s) {
    // Everything is read into locals first and applied at the end, so a
    // damaged file leaves the view as it was.
    const std::function<void()> applyPrefix = ReadPrefix(s);
    const QString author = StreamReadRequiredLine(s);
    const QString organization = StreamReadRequiredLine(s);
    std::array<std::int64_t, 4> keys{};
    const TVertex lowerLimit = ReadPointRecord(s, keys[0]);
    const TVertex upperLimit = ReadPointRecord(s, keys[1]);
    const TVertex viewMin = ReadPointRecord(s, keys[2]);
    const TVertex viewMax = ReadPointRecord(s, keys[3]);
    const double snapX = ReadDouble(s);
    const double snapY = ReadDouble(s);
    const double snapAngle = ReadDouble(s);
    const bool snapEnabled = ReadFlag(s);
    const double gridX = ReadDouble(s);
    const double gridY = ReadDouble(s);
    const bool gridEnabled = ReadFlag(s);
    const bool ortho = ReadFlag(s);
    const TDistanceUnit distanceUnits = CodeToDistanceUnit(ReadInt32(s));
    const TAngleUnit angleUnits = CodeToAngleUnit(ReadInt32(s));
    const std::int32_t distancePrecision = ReadInt32(s);
    const std::int32_t anglePrecision = ReadInt32(s);
    const TColor color = ReadInt32(s);
    std::function<void()> applyLayers = ReadLayersSection(s);
    std::int32_t activeIndex;
    try {
        activeIndex = ReadInt32(s);
    } catch (...) {
        if (pendingLayerRollback_) pendingLayerRollback_();
        pendingLayerRollback_ = nullptr;
        throw;
    }

    if (applyPrefix) applyPrefix();
    author_ = author;
    organization_ = organization;
    pointKeys_ = keys;
    lowerLimit_ = lowerLimit;
    upperLimit_ = upperLimit;
    viewMin_ = viewMin;
    viewMax_ = viewMax;
    snapX_ = snapX;
    snapY_ = snapY;
    snapAngle_ = snapAngle;
    snapEnabled_ = snapEnabled;
    gridX_ = gridX;
    gridY_ = gridY;
    gridEnabled_ = gridEnabled;
    ortho_ = ortho;
    distanceUnits_ = distanceUnits;
    angleUnits_ = angleUnits;
    distancePrecision_ = distancePrecision;
    anglePrecision_ = anglePrecision;
    SetColor(color);
    if (applyLayers) applyLayers();
    SetActiveLayerIndexFromFile(activeIndex);
    // The transform follows the stored window, fitted to the control; the
    // window itself stays as stored until the next zoom.
    const TVertex storedMax = viewMax_;
    SetViewport(0, 0, ControlWidth(), ControlHeight());
    viewMax_ = storedMax;
}

void TDrawing::LoadFromFile(const QString& fileName) {
    // The file is read whole and closed at once; the drawing is then read
    // from memory.
    std::vector<std::uint8_t> all;
    {
        TFileStream file(fileName, TFileStream::fmOpenRead);
        all.resize(static_cast<std::size_t>(file.Size()));
        if (!all.empty()) file.ReadBuffer(all.data(), all.size());
    }
    TMemoryStream bytes(std::move(all));
    loadingFile_ = fileName;
    try {
        LoadFromStream(bytes);
    } catch (...) {
        loadingFile_.clear();
        throw;
    }
    loadingFile_.clear();
}

void TDrawing::SaveToFile(const QString& fileName) {
    TAtomicFile file(fileName);
    savingFile_ = fileName;
    try {
        SaveToStream(file.Stream());
    } catch (...) {
        savingFile_.clear();
        throw;
    }
    savingFile_.clear();
    file.Commit();
}

void TDrawing::InternalOpen() {
    if (active_) return;
    LoadFromFile(DrawingPath());
    active_ = true;
    hasFile_ = true;
}

void TDrawing::InternalClose() {
    if (!active_) return;
    if (state_ == dwsEdit) FinishEdit();
    CloseLayers();
    active_ = false;
}

void TDrawing::Open() {
    DoBeforeOpen();
    try {
        InternalOpen();
    } catch (const EKoviError& e) {
        DoError(ErrorMessage(e));
        throw;
    }
    DoAfterOpen();
}

void TDrawing::Close() {
    DoBeforeClose();
    InternalClose();
    DoAfterClose();
}

void TDrawing::SetActive(bool value) {
    if (value == active_) return;
    if (value) Open();
    else Close();
    Redraw();
}

void TDrawing::CreateDrawing(bool overwrite) {
    if (hasFile_ || active_) return;
    const QString path = DrawingPath();
    if (!overwrite && QFileInfo::exists(path))
        throw EFileError(QStringLiteral("File \"%1\" already exists").arg(path));
    SaveToFile(path);
    hasFile_ = true;
}

void TDrawing::SaveDrawing() { SaveToFile(DrawingPath()); }

void TDrawing::WriteLayersSection(TStream& s) {
    // The list reports through the view while it writes; the handler the
    // application had set is put back afterwards.
    TLayers::TProgressEvent previous = layers_->OnProgress;
    layers_->OnProgress = [this](TLayers&, int current, int total) { DoProgress(current, total); };
    try {
        layers_->SaveToStream(s);
    } catch (...) {
        layers_->OnProgress = previous;
        throw;
    }
    layers_->OnProgress = previous;
}

std::function<void()> TDrawing::ReadLayersSection(TStream& s) {
    // The layers read are appended behind those the view holds; on success
    // the earlier ones go (so that close then open does not list them
    // twice), on failure the new ones go.
    const int before = layers_->GetCount();
    const auto dropNew = [this, before] {
        while (layers_->GetCount() > before) layers_->FreeLayer(layers_->GetItem(layers_->GetCount() - 1));
    };
    try {
        layers_->LoadFromStream(s);
    } catch (...) {
        dropNew();
        throw;
    }
    pendingLayerRollback_ = dropNew;
    return [this, before] {
        pendingLayerRollback_ = nullptr;
        std::vector<TLayer*> old;
        for (int i = 0; i < before; ++i) old.push_back(layers_->GetItem(i));
        // A layer whose file could not be read is dropped from the list.
        for (int i = before; i < layers_->GetCount(); ++i)
            if (!layers_->GetItem(i)->Active()) old.push_back(layers_->GetItem(i));
        for (TLayer* layer : old) {
            if (layer == activeLayer_) activeLayer_ = nullptr;
            if (layers_->Owns(layer)) layers_->FreeLayer(layer);
            else layers_->Delete(layers_->IndexOf(layer));
        }
        layers_->Changed();
    };
}

std::int32_t TDrawing::ActiveLayerIndex() const {
    return activeLayer_ != nullptr ? layers_->IndexOf(activeLayer_) : -1;
}

void TDrawing::SetActiveLayerIndexFromFile(std::int32_t index) {
    const int count = layers_->GetCount();
    if (index >= 0 && index < count) activeLayer_ = layers_->GetItem(index);
    else if (count > 0) activeLayer_ = layers_->GetItem(0);
}

void TDrawing::CloseLayers() {
    for (int i = 0; i < layers_->GetCount(); ++i) layers_->GetItem(i)->Close();
}
