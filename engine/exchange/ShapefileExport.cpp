// Export of a theme layer as a shapefile. The ".shp" and ".shx" are made by
// shapelib's SHP writer into memory and written out whole; the ".dbf" is a
// dBase table of the database layer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <shapefil.h>

#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/exchange/Shapefile.h"
#include "engine/exchange/ShapefileFormat.h"
#include "engine/geometry/Overlay.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/BatchMove.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "platform/db/VirtualTables.h"

namespace {

using namespace Shapefile;

// ---------------------------------------------------------------- files in memory

// The files shapelib opens during one export, by name. shapelib's hooks
// carry no context, so the export in progress on this thread is found
// through a thread-local pointer.
struct TMemoryFiles {
    std::map<std::string, std::string> Files;
    std::string LastError;
};
thread_local TMemoryFiles* tFiles = nullptr;

struct TMemoryFile {
    std::string* Data;
    std::size_t Pos = 0;
};

SAFile MemOpen(const char* name, const char* access) {
    if (tFiles == nullptr) return nullptr;
    if (std::strchr(access, 'w') != nullptr) {
        std::string& d = tFiles->Files[name];
        d.clear();
        return reinterpret_cast<SAFile>(new TMemoryFile{&d});
    }
    const auto it = tFiles->Files.find(name);
    return it == tFiles->Files.end() ? nullptr : reinterpret_cast<SAFile>(new TMemoryFile{&it->second});
}
SAOffset MemRead(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    auto* f = reinterpret_cast<TMemoryFile*>(file);
    if (size == 0) return 0;
    const std::size_t left = f->Pos < f->Data->size() ? f->Data->size() - f->Pos : 0;
    const SAOffset n = std::min<SAOffset>(nmemb, left / size);
    std::memcpy(p, f->Data->data() + f->Pos, n * size);
    f->Pos += n * size;
    return n;
}
SAOffset MemWrite(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    auto* f = reinterpret_cast<TMemoryFile*>(file);
    const std::size_t n = size * nmemb;
    if (f->Pos + n > f->Data->size()) f->Data->resize(f->Pos + n);
    std::memcpy(f->Data->data() + f->Pos, p, n);
    f->Pos += n;
    return nmemb;
}
SAOffset MemSeek(SAFile file, SAOffset offset, int whence) {
    auto* f = reinterpret_cast<TMemoryFile*>(file);
    if (whence == SEEK_SET) f->Pos = offset;
    else if (whence == SEEK_CUR) f->Pos += offset;
    else f->Pos = f->Data->size() + offset;
    return 0;
}
SAOffset MemTell(SAFile file) { return reinterpret_cast<TMemoryFile*>(file)->Pos; }
int MemFlush(SAFile) { return 0; }
int MemClose(SAFile file) {
    delete reinterpret_cast<TMemoryFile*>(file);
    return 0;
}
int MemRemove(const char* name) {
    return tFiles != nullptr && tFiles->Files.erase(name) > 0 ? 0 : -1;
}
void MemError(const char* message) {
    if (tFiles != nullptr) tFiles->LastError = message;
}

double Atof(const char* text) { return std::atof(text); }

SAHooks MemoryHooks() {
    return SAHooks{.FOpen = MemOpen, .FRead = MemRead, .FWrite = MemWrite, .FSeek = MemSeek, .FTell = MemTell,
                   .FFlush = MemFlush, .FClose = MemClose, .Remove = MemRemove, .Error = MemError, .Atof = Atof};
}

// ---------------------------------------------------------------- shapes

// The coordinates of one shape, gathered from copies of the object's
// vertices; reused from record to record.
struct TShapeBuffer {
    std::vector<int> Starts;
    std::vector<double> X, Y, Z, M;

    void Clear() {
        Starts.clear();
        X.clear();
        Y.clear();
        Z.clear();
    }
    void Add(const std::vector<TVertex>& part) {
        Starts.push_back(static_cast<int>(X.size()));
        for (const TVertex& v : part) {
            X.push_back(v.X);
            Y.push_back(v.Y);
            Z.push_back(v.Z);
        }
    }
};

// A line part: repeated consecutive vertices left out; a closed line stays
// closed. Fewer than two vertices make no part.
void AddLinePart(TShapeBuffer& b, const TContour& c, std::vector<TVertex>& scratch) {
    scratch.clear();
    for (const TVertex& v : c.Points())
        if (scratch.empty() || !Planar::Coincide(scratch.back(), v)) scratch.push_back(v);
    if (scratch.size() >= 2) b.Add(scratch);
}

// A ring: repeated vertices and the closing one left out, wound as asked
// (outer rings clockwise), then closed. Fewer than three vertices make no
// ring.
void AddRing(TShapeBuffer& b, const TContour& c, bool outer, std::vector<TVertex>& scratch) {
    scratch.assign(c.Points().begin(), c.Points().end());
    RemoveDuplicateVertices(scratch);
    if (scratch.size() < 3) return;
    if (Planar::IsContourOrdered(scratch) != outer) std::reverse(scratch.begin(), scratch.end());
    scratch.push_back(scratch.front());
    b.Add(scratch);
}

// Gathers the shape of an object; false when the object is not of the
// layer's kind.
bool Gather(const TVisualObject& o, std::int32_t kind, TShapeBuffer& b, std::vector<TVertex>& scratch) {
    b.Clear();
    if (kind == lkPoints) {
        const auto* p = dynamic_cast<const TPoint*>(&o);
        if (p == nullptr) return false;
        b.Add({p->Vertex()});
        return true;
    }
    if (kind == lkLines) {
        const auto* l = dynamic_cast<const TPolyLine*>(&o);
        if (l == nullptr) return false;
        for (const auto& c : l->Contours()) AddLinePart(b, *c, scratch);
        return true;
    }
    const auto* a = dynamic_cast<const TPolygon*>(&o);
    if (a == nullptr) return false;
    for (const auto& c : a->Contours()) AddRing(b, *c, true, scratch);
    for (const auto& c : a->Holes()) AddRing(b, *c, false, scratch);
    return true;
}

void WriteShape(SHPHandle h, std::int32_t type, int mode, TShapeBuffer& b, TMemoryFiles& files) {
    SHPObject* s = nullptr;
    const int n = static_cast<int>(b.X.size());
    if (n == 0) {
        s = SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr);
    } else {
        b.M.assign(b.X.size(), 0.0);
        const bool point = LayerKindOf(type) == lkPoints;
        s = SHPCreateObject(type, -1, point ? 0 : static_cast<int>(b.Starts.size()), point ? nullptr : b.Starts.data(),
                            nullptr, n, b.X.data(), b.Y.data(), mode == smZ ? b.Z.data() : nullptr,
                            mode == smPlain ? nullptr : b.M.data());
    }
    const int written = s != nullptr ? SHPWriteObject(h, -1, s) : -1;
    SHPDestroyObject(s);
    if (written < 0) throw EStreamError(QStringLiteral("Forma não gravada no shapefile: ") + QString::fromStdString(files.LastError));
}

// ---------------------------------------------------------------- files

// A name beside the target for the table being written.
QString TemporaryTableName(const QString& target) {
    const QFileInfo fi(target);
    for (;;) {
        const QString name = QStringLiteral(".%1.tmp%2.dbf")
                                 .arg(fi.completeBaseName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (!QFileInfo::exists(fi.dir().filePath(name))) return name;
    }
}

void Rename(const QString& from, const QString& to) {
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), ec);
    if (ec)
        throw EFileError(QStringLiteral("Não foi possível criar o arquivo \"%1\". %2").arg(to, QString::fromStdString(ec.message())));
}

void WriteWhole(TAtomicFile& file, const std::string& bytes) { file.Stream().Write(bytes.data(), bytes.size()); }

}  // namespace

void ExportShapefile(TThemeLayer& layer, const QString& fileName, int mode) {
    if (mode < smPlain || mode > smZ) throw EEngineError(QStringLiteral("Modo de shapefile inválido: %1").arg(mode));
    const std::int32_t kind = layer.ThemeLayerType();
    if (kind < lkPoints || kind > lkAreas)
        throw EEngineError(QStringLiteral("A camada do tipo %1 não pode ser gravada como Shapefile: %2")
                               .arg(kind)
                               .arg(layer.Caption()));
    if (!layer.Active()) throw EEngineError(QStringLiteral("A camada não está aberta: ") + layer.ResolvedFileName());
    const std::int32_t type = ShapeTypeFor(kind, mode);
    const QString shpName = ChangeFileExt(fileName, QStringLiteral(".shp"));
    const QString shxName = ChangeFileExt(fileName, QStringLiteral(".shx"));
    const QString dbfName = ChangeFileExt(fileName, QStringLiteral(".dbf"));

    // The layer's records as stored, read through a table of their own.
    const TTable* base = layer.Table()->GetBaseTable();
    TTable records;
    records.SetDatabaseName(base->DatabaseName());
    records.SetTableName(base->TableName());
    records.SetTableType(base->TableType());
    records.Open();
    const TField* idField = records.FieldByName(QStringLiteral("ID"));
    TFieldDefs defs;
    defs.Assign(records.FieldDefs());
    const bool addZ = mode == smZ && defs.IndexOf(QStringLiteral("Z")) < 0;
    if (addZ) defs.Add(QStringLiteral("Z"), ftFloat);
    std::vector<QString> columns;
    for (const TFieldDef& d : defs.Items()) columns.push_back(d.Name);
    std::vector<std::vector<TDbValue>> rows;

    TMemoryFiles files;
    struct TCurrent {
        explicit TCurrent(TMemoryFiles* f) { tFiles = f; }
        ~TCurrent() { tFiles = nullptr; }
    } current(&files);
    SAHooks hooks = MemoryHooks();
    SHPHandle h = SHPCreateLL("export.shp", type, &hooks);
    if (h == nullptr) throw EStreamError(QStringLiteral("Shapefile não criado: ") + QString::fromStdString(files.LastError));
    TShapeBuffer buffer;
    std::vector<TVertex> scratch;
    const int count = records.RecordCount();
    try {
        for (int r = 0; r < count; ++r) {
            const TDbValue& id = records.RecordValue(r, idField->Index());
            const TVisualObject* o = id.IsNull() ? nullptr : layer.FindObject(idField->TextOf(id));
            if (o != nullptr && Gather(*o, kind, buffer, scratch)) {
                WriteShape(h, type, mode, buffer, files);
                std::vector<TDbValue>& row = rows.emplace_back(columns.size());
                for (int c = 0; c < records.FieldCount(); ++c) row[static_cast<std::size_t>(c)] = records.RecordValue(r, c);
                if (addZ) row.back().SetFloat(o->GetUpperZ());
            }
            if (layer.OnProgress) layer.OnProgress(layer, r + 1, count);
        }
    } catch (...) {
        SHPClose(h);
        throw;
    }
    SHPClose(h);
    records.Close();

    // Everything is written beside the targets first.
    const QFileInfo target(dbfName);
    const QString folder = target.absolutePath();
    TTable table;
    table.SetDatabaseName(folder);
    table.SetTableName(TemporaryTableName(dbfName));
    table.SetTableType(ttDBase);
    table.SetTableLevel(3);
    // The fields as the layer's table has them (numbers as wide and with as
    // many decimals), its text in its code page.
    table.FieldDefs().Assign(defs);
    table.SetCodePage(records.CodePage());
    table.CreateTable();
    const QString tableFile = table.FileName();
    try {
        AppendRecords(table, columns, rows);
        Session().Stores().Forget(tableFile);
        TAtomicFile shp(shpName), shx(shxName);
        WriteWhole(shp, files.Files["export.shp"]);
        WriteWhole(shx, files.Files["export.shx"]);
        // Then put in place: the table (with its memo file and the file
        // naming its code page, if any), the index, the main file.
        Session().Stores().Forget(dbfName);
        Rename(tableFile, dbfName);
        const QString memo = ChangeFileExt(tableFile, QStringLiteral(".dbt"));
        if (QFileInfo::exists(memo)) Rename(memo, ChangeFileExt(dbfName, QStringLiteral(".dbt")));
        const QString cpg = ChangeFileExt(tableFile, QStringLiteral(".cpg"));
        const QString formerCpg = FindPathNoCase(ChangeFileExt(dbfName, QStringLiteral(".cpg")));
        if (!formerCpg.isEmpty()) QFile::remove(formerCpg);
        if (QFileInfo::exists(cpg)) Rename(cpg, ChangeFileExt(dbfName, QStringLiteral(".cpg")));
        shx.Commit();
        shp.Commit();
    } catch (...) {
        if (QFileInfo::exists(tableFile)) {
            try {
                table.DeleteTable();
            } catch (const std::exception&) {
            }
        }
        throw;
    }
}
