// The class registry and the object record stream.
#include <deque>

#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/objects/VisualObject.h"

// Registers the classes of this library (BuiltInClasses.cpp).
void RegisterBuiltInObjectClasses();

namespace {

struct TRegisteredClass {
    QString Name;
    TObjectFactory Factory;
};

std::vector<TRegisteredClass>& Storage() {
    static std::vector<TRegisteredClass> storage;
    return storage;
}

// The registry, with the built-in classes in it from the first use on.
std::vector<TRegisteredClass>& Registry() {
    static bool started = false;
    if (!started) {
        started = true;  // before registering: RegisterObjectClass comes back here
        RegisterBuiltInObjectClasses();
    }
    return Storage();
}

const TRegisteredClass* FindClass(QStringView className) {
    for (const TRegisteredClass& c : Registry())
        if (c.Name.compare(className, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

}  // namespace

void RegisterObjectClass(const QString& className, TObjectFactory factory) {
    auto& reg = Registry();
    for (TRegisteredClass& c : reg)
        if (c.Name.compare(className, Qt::CaseInsensitive) == 0) {
            c.Factory = std::move(factory);
            return;
        }
    reg.push_back({className, std::move(factory)});
}

bool IsObjectClassRegistered(QStringView className) { return FindClass(className) != nullptr; }

std::unique_ptr<TVisualObject> CreateObjectOfClass(QStringView className) {
    const TRegisteredClass* c = FindClass(className);
    return c != nullptr ? c->Factory() : nullptr;
}

QString ObjectRecordName(const TVisualObject& object) { return object.ClassName().mid(1).toUpper(); }

namespace {

// The opening and closing lines of a class's records, as written; made
// once per class and thread (a layer file writes many records of few
// classes).
struct TRecordLines {
    QString ClassName;
    std::string Begin, End;
};

const TRecordLines& RecordLinesOf(const TVisualObject& object) {
    thread_local std::deque<TRecordLines> known;  // stays in place as it grows
    const QString cls = object.ClassName();
    for (const TRecordLines& l : known)
        if (l.ClassName == cls) return l;
    const QString name = ObjectRecordName(object);
    TMemoryStream begin, end;
    StreamWriteLine(begin, name);
    StreamWriteLine(end, QString(QLatin1Char('E') + name));
    return known.emplace_back(TRecordLines{cls, begin.ToString(), end.ToString()});
}

}  // namespace

void WriteObjectRecord(const TVisualObject& object, TStream& stream) {
    const TRecordLines& lines = RecordLinesOf(object);
    stream.Write(lines.Begin.data(), lines.Begin.size());
    object.SaveToStream(stream);
    stream.Write(lines.End.data(), lines.End.size());
}

std::unique_ptr<TVisualObject> ReadObjectRecord(TStream& stream, QStringView onlyClass) {
    const std::int64_t start = stream.Position();
    const QString name = StreamReadRequiredLine(stream);
    if (!onlyClass.isEmpty() && onlyClass.mid(1).compare(name, Qt::CaseInsensitive) != 0) {
        stream.Seek(start);
        throw EFormatError(QStringLiteral("Expected a %1 record at offset %2 but found '%3'")
                               .arg(onlyClass.mid(1).toString().toUpper())
                               .arg(start)
                               .arg(name));
    }
    std::unique_ptr<TVisualObject> object = CreateObjectOfClass(QString(QLatin1Char('T') + name));
    if (!object) {
        stream.Seek(start);
        throw EFormatError(QStringLiteral("Unknown object class 'T%1' at offset %2").arg(name).arg(start));
    }
    object->LoadFromStream(stream);
    const std::int64_t endAt = stream.Position();
    const QString end = StreamReadRequiredLine(stream);
    if (end.size() != name.size() + 1 || !end.startsWith(QLatin1Char('E'), Qt::CaseInsensitive) ||
        QStringView(end).mid(1).compare(name, Qt::CaseInsensitive) != 0)
        throw EFormatError(QStringLiteral("Expected 'E%1' at offset %2 but found '%3'").arg(name).arg(endAt).arg(end));
    return object;
}

void WriteObjectList(TStream& stream, std::span<const TVisualObject* const> objects) {
    WriteInt32(stream, static_cast<std::int32_t>(objects.size()));
    for (const TVisualObject* o : objects) WriteObjectRecord(*o, stream);
}

std::vector<std::unique_ptr<TVisualObject>> ReadObjectList(TStream& stream) {
    const std::int32_t count = ReadInt32(stream);
    CheckCount(stream, count, kMinObjectRecordBytes, "object");
    std::vector<std::unique_ptr<TVisualObject>> out;
    out.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) out.push_back(ReadObjectRecord(stream));
    return out;
}
