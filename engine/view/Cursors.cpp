#include "engine/view/Cursors.h"

#include <map>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include "core/Paths.h"

namespace {

struct TCursorFile {
    int number;
    const char* file;
};

constexpr TCursorFile kCursorFiles[] = {
    {1, "SELECT.cur"},  {2, "DRAW.cur"},     {3, "ZoomIn.cur"},   {4, "ZoomOut.cur"},
    {5, "ZoomWin.cur"}, {6, "Pan.cur"},      {7, "transl.cur"},   {8, "rotate.cur"},
    {9, "scale.cur"},   {10, "ident.cur"},   {11, "measure.cur"}, {201, "Point.cur"},
    {202, "Line.cur"},  {203, "Arc.cur"},    {205, "Circle.cur"}, {206, "PLine.cur"},
    {207, "Pgon.cur"},  {208, "Vertex.cur"}, {209, "Text.cur"},   {210, "Img.cur"},
};

std::map<int, QCursor>& Table() {
    static std::map<int, QCursor> table;
    return table;
}

// The hot spot of a .cur file's first image (the ICONDIRENTRY's planes and
// bit count fields hold it).
QPoint CurHotSpot(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) return {0, 0};
    const QByteArray head = f.read(6 + 16);
    if (head.size() < 22) return {0, 0};
    const auto u16 = [&](int at) {
        return int(static_cast<unsigned char>(head[at])) | (int(static_cast<unsigned char>(head[at + 1])) << 8);
    };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) < 1) return {0, 0};
    return {u16(6 + 4), u16(6 + 6)};
}

}  // namespace

QString ToolCursorFileName(int number) {
    for (const auto& c : kCursorFiles)
        if (c.number == number) return QString::fromLatin1(c.file);
    return QString();
}

const std::vector<int>& ToolCursorNumbers() {
    static const std::vector<int> numbers = [] {
        std::vector<int> v;
        for (const auto& c : kCursorFiles) v.push_back(c.number);
        return v;
    }();
    return numbers;
}

QString ToolCursorFolder() {
    const QString beside = JoinPath(QCoreApplication::applicationDirPath(), QStringLiteral("cursors"));
    if (QFileInfo(beside).isDir()) return beside;
    return JoinPath(QDir::currentPath(), QStringLiteral("cursors"));
}

int LoadToolCursors(const QString& folder) {
    int loaded = 0;
    for (const auto& c : kCursorFiles) {
        QString name = JoinPath(folder, QString::fromLatin1(c.file));
        if (!QFileInfo::exists(name)) {
            const QString other = FindPathNoCase(name);
            if (other.isEmpty()) continue;
            name = other;
        }
        QImageReader reader(name, "cur");
        const QImage image = reader.read();
        if (image.isNull()) continue;
        const QPoint hot = CurHotSpot(name);
        Table().insert_or_assign(c.number, QCursor(QPixmap::fromImage(image), hot.x(), hot.y()));
        ++loaded;
    }
    return loaded;
}

std::optional<QCursor> ToolCursor(int number) {
    const auto it = Table().find(number);
    if (it == Table().end()) return std::nullopt;
    return it->second;
}
