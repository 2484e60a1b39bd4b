#include "engine/symbology/ThemeClasses.h"

#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"

namespace {

const QString kRecordName = QStringLiteral("THEMECLASS");

// The smallest record: two marker lines, an empty name, a block with
// empty font lines, the variant code and two empty value lines.
constexpr std::int64_t kMinRecordBytes = 12 + 13 + 2 + 33 + 4 + 2 + 2;

}  // namespace

TThemeClasses::~TThemeClasses() {
    links_.DisconnectAll();
    items_.clear();
}

TThemeClass* TThemeClasses::GetItem(int index) const {
    if (index < 0 || index >= GetCount())
        throw EEngineError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return items_[static_cast<std::size_t>(index)].get();
}

int TThemeClasses::IndexOfName(const QString& name) const {
    const QString key = name.trimmed().toUpper();
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->ThemeClassName().trimmed().toUpper() == key) return static_cast<int>(i);
    return -1;
}

TThemeClass* TThemeClasses::Find(const QString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

int TThemeClasses::Add(const QString& name) {
    const int found = IndexOfName(name);
    if (found >= 0) return found;
    auto c = std::make_unique<TThemeClass>();
    c->SetThemeClassName(name);
    items_.push_back(std::move(c));
    Changed();
    return GetCount() - 1;
}

void TThemeClasses::Clear() {
    // Take the classes out first, so listeners told of a class's end see
    // the list already empty.
    auto old = std::move(items_);
    items_.clear();
    old.clear();
    Changed();
}

std::unique_ptr<TThemeClass> TThemeClasses::Extract(int index) {
    GetItem(index);
    auto c = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    Changed();
    return c;
}

void TThemeClasses::Changed() {
    links_.NotifyChange();
    if (OnChange) OnChange(*this);
}

void TThemeClasses::SaveToStream(TStream& s) const {
    StreamWriteLine(s, u"THEMECLASSES");
    WriteData(s);
    StreamWriteLine(s, u"ETHEMECLASSES");
}

void TThemeClasses::LoadFromStream(TStream& s) {
    StreamExpectLine(s, u"THEMECLASSES");
    ReadData(s);
    StreamExpectLine(s, u"ETHEMECLASSES");
}

void TThemeClasses::WriteData(TStream& s) const {
    WriteTextLine(s, title_);
    WriteInt32(s, GetCount());
    for (const auto& c : items_) {
        StreamWriteLine(s, kRecordName);
        c->WriteData(s);
        StreamWriteLine(s, QString(u"E"_qs + kRecordName));
    }
}

void TThemeClasses::ReadData(TStream& s) {
    QString title = ReadTextLine(s);
    const std::int32_t count = ReadInt32(s);
    CheckCount(s, count, kMinRecordBytes, "theme class");
    std::vector<std::unique_ptr<TThemeClass>> read;
    read.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t at = s.Position();
        const QString name = StreamReadRequiredLine(s);
        if (name.compare(kRecordName, Qt::CaseInsensitive) != 0) {
            s.Seek(at);
            throw EFormatError(QStringLiteral("Class T%1 not found").arg(name));
        }
        auto c = std::make_unique<TThemeClass>();
        c->ReadData(s);
        StreamExpectLine(s, QString(u"E"_qs + kRecordName));
        read.push_back(std::move(c));
    }
    title_ = std::move(title);
    for (auto& c : read) items_.push_back(std::move(c));
}
