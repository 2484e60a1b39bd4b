// The seed corpora of the fuzz targets, made from the sample plan:
//   fuzz-seeds <folder>
// writes the sample plan into a scratch folder, then <folder>/<target>/*
// for every target: the plan's own files (maps, layer files, style files,
// tables, photographs, chapters) and files made from them by the engine's
// writers (plain layers, object records of every class, a catalogue,
// tables with memos, Paradox tables, shapefiles, small pictures), and the
// inputs of the faults mended so far (FuzzRegressions.h).
#include <cstdio>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "coords/EarthShapes.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/exchange/DrawingDxf.h"
#include "engine/exchange/LayerDxf.h"
#include "engine/exchange/Shapefile.h"
#include "engine/objects/Arc.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Point.h"
#include "engine/objects/Text.h"
#include "engine/network/Network.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "platform/db/Fields.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/jpeg/Jpeg.h"
#include "tests/fuzz/FuzzRegressions.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

QString out;  // the corpora's folder
int written = 0;

void Seed(const char* target, const QString& name, const QByteArray& bytes) {
    const QString folder = out + u'/' + QLatin1StringView(target);
    QDir().mkpath(folder);
    fuzz::WriteFile(folder + u'/' + name, bytes);
    ++written;
}

QByteArray Read(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot read \"%1\"").arg(file));
    return f.readAll();
}

QByteArray Bytes(const TMemoryStream& s) { return s.ToByteArray(); }

QStringList FilesOf(const QString& folder, const QStringList& patterns) {
    QStringList files;
    QDirIterator it(folder, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    return files;
}

// Objects of the classes the sample plan does not hold, placed on its map.
std::vector<std::unique_ptr<TVisualObject>> OtherClasses(double x, double y) {
    std::vector<std::unique_ptr<TVisualObject>> v;
    auto arc = std::make_unique<TArc>();
    arc->SetCenter(x, y);
    arc->SetRadius(40);
    arc->SetStartAngle(0.3);
    arc->SetEndAngle(2.1);
    v.push_back(std::move(arc));
    auto circle = std::make_unique<TCircle>();
    circle->SetCenter(x + 50, y - 20);
    circle->SetRadius(25);
    v.push_back(std::move(circle));
    auto text = std::make_unique<TText>();
    text->SetText(QStringLiteral("Escadaria São José"));
    text->SetInsertionPoint(x - 30, y + 10);
    text->SetRotation(0.5);
    text->SetOriginalScale(2000);
    v.push_back(std::move(text));
    v.push_back(std::make_unique<TImageObject>());
    auto node = std::make_unique<TGraphNode>();
    node->SetNodeClass(2);
    v.push_back(std::move(node));
    v.push_back(std::make_unique<TPoint>(x, y, 12.5));
    for (std::size_t i = 0; i < v.size(); ++i) v[i]->SetId(QString::number(0xA0 + i, 16).toUpper());
    return v;
}

void LayerSeeds(const TSamplePlanFiles& plan) {
    int n = 0;
    for (const QString& file : plan.LayerFiles) {
        const QString stem = QFileInfo(file).completeBaseName();
        // The theme layer files as they are, and their styles.
        Seed("theme-layer-file", stem + QStringLiteral(".cam"), Read(file));
        Seed("style-file", stem + QStringLiteral(".lgc"), Read(ChangeFileExt(file, QStringLiteral(".lgc"))));
        // Their objects in plain layer files, with their styles, and their
        // object records a few at a time.
        TThemeLayer theme;
        theme.LoadFromFile(file);
        TLayer plain;
        plain.SetDatabaseName(fuzz::ScratchFolder());
        plain.SetLayerName(stem + QStringLiteral(".cam"));
        plain.Edit();  // objects are added in the edit state
        TMemoryStream records;
        int inRecords = 0;
        for (TVisualObject* o : theme.GetObjects()) {
            plain.Add(o->Clone());
            if (inRecords < 6) {
                WriteObjectRecord(*o, records);
                ++inRecords;
            }
        }
        if (n++ == 0) {
            const TBounds b = theme.Bounds();
            for (auto& o : OtherClasses((b.LowerX + b.UpperX) / 2, (b.LowerY + b.UpperY) / 2)) {
                WriteObjectRecord(*o, records);
                plain.Add(std::move(o));
            }
        }
        TMemoryStream body, style;
        plain.WriteObjects(body);
        plain.WriteStyle(style);
        Seed("layer-file", stem + QStringLiteral(".cam"), Bytes(body));
        Seed("style-file", stem + QStringLiteral("-plain.lgc"), Bytes(style));
        Seed("object-records", stem, Bytes(records));
        plain.EndEdit();
    }
}

void MapSeeds(const TSamplePlanFiles& plan) {
    for (const QString& map : {plan.MapFile, plan.GeoMapFile}) {
        Seed("drawing-file", QFileInfo(map).fileName(), Read(map));
        TGISDrawing view;
        view.LoadFromFile(map);
        for (int i = 0; i < view.Layers().GetCount(); ++i) {
            TMemoryStream header;
            view.Layers().GetItem(i)->WriteHeader(header);
            Seed("theme-header", QStringLiteral("%1-%2").arg(QFileInfo(map).completeBaseName()).arg(i), Bytes(header));
        }
    }
}

void CatalogueSeeds() {
    const QString folder = fuzz::ScratchFolder();
    TEarthShapes all;
    all.LoadDefaults();
    all.SaveToFile((folder + QStringLiteral("/all.geo")).toStdString());
    Seed("ellipsoid-catalogue", QStringLiteral("builtin.geo"), Read(folder + QStringLiteral("/all.geo")));
    // The plan's ellipsoid alone, with its datums.
    TEarthShapes one;
    const TEllipsoid& e = all.GetEllipsoid(19);
    TEllipsoid& copy = one.AddEllipsoid(e.Name(), e.A(), e.F());
    for (int d = 0; d < e.DatumCount(); ++d) {
        const TDatum& datum = e.GetDatum(d);
        copy.AddDatum(datum.Name(), datum.DX(), datum.DY(), datum.DZ());
    }
    one.SaveToFile((folder + QStringLiteral("/one.geo")).toStdString());
    Seed("ellipsoid-catalogue", QStringLiteral("plan.geo"), Read(folder + QStringLiteral("/one.geo")));
}

// Copies the first rows of a sample table into a new table of the type,
// with a memo of each row's texts when the type holds memos.
QString CopyTable(const QString& from, const QString& folder, const QString& name, TTableType type, int level) {
    TTable src;
    src.SetDatabaseName(ExtractFilePath(from));
    src.SetTableName(ExtractFileName(from));
    src.Open();
    TTable dst;
    dst.SetDatabaseName(folder);
    dst.SetTableName(name);
    dst.SetTableType(type);
    dst.SetTableLevel(level);
    for (int i = 0; i < src.FieldCount(); ++i) {
        const TField* f = src.Fields(i);
        dst.FieldDefs().Add(f->FieldName(), f->DataType(), f->Size());
    }
    const bool memo = type == ttDBase;
    if (memo) dst.FieldDefs().Add(QStringLiteral("NOTA"), ftMemo);
    dst.CreateTable();
    dst.Open();
    int rows = 0;
    for (src.First(); !src.Eof() && rows < 12; src.Next(), ++rows) {
        dst.Append();
        QStringList texts;
        for (int i = 0; i < src.FieldCount(); ++i) {
            dst.Fields(i)->SetAsString(src.Fields(i)->AsString());
            texts << src.Fields(i)->AsString();
        }
        // Memos of several lengths, one of them empty.
        if (memo && rows % 4 != 3) dst.FieldByName(QStringLiteral("NOTA"))->SetAsString(texts.join(u'\n').repeated(1 + rows % 3 * 40));
        dst.Post();
    }
    dst.Close();
    return JoinPath(folder, name);
}

void TableSeeds(const TSamplePlanFiles& plan) {
    const QString folder = fuzz::ScratchFolder() + QStringLiteral("/tables");
    QDir().mkpath(folder);
    const QStringList dbfs = FilesOf(ExtractFilePath(plan.LayerFiles.front()), {QStringLiteral("*.dbf")});
    int n = 0;
    for (const QString& dbf : dbfs) {
        if (n++ % 3 != 0) continue;  // a third of them is variety enough
        const QString stem = QFileInfo(dbf).completeBaseName();
        Seed("dbase", stem, fuzz::JoinTwoFiles(Read(dbf), {}));
        for (int level : {3, 4}) {
            const QString copy = CopyTable(dbf, folder, QStringLiteral("%1-%2.dbf").arg(stem).arg(level), ttDBase, level);
            Seed("dbase", QStringLiteral("%1-memo%2").arg(stem).arg(level),
                 fuzz::JoinTwoFiles(Read(copy), Read(ChangeFileExt(copy, QStringLiteral(".dbt")))));
        }
        const QString px = CopyTable(dbf, folder, stem + QStringLiteral(".db"), ttParadox, 7);
        Seed("paradox", stem, fuzz::JoinTwoFiles(Read(px), {}));
        if (n == 1) {
            // A record size below the sum of the field lengths (pxlib read
            // beyond its buffer), and the file cut short (pxlib hung).
            QByteArray bytes = Read(px);
            bytes[0] = static_cast<char>(bytes[0] - 1);
            Seed("paradox", QStringLiteral("regress-record-size"), fuzz::JoinTwoFiles(bytes, {}));
            Seed("paradox", QStringLiteral("regress-short"), fuzz::JoinTwoFiles(Read(px).left(0x70), {}));
        }
    }
}

// A Paradox table of every type the layer writes, with milliseconds and
// dates past year 9999 and before year 1, in code page 1252 and, patched,
// 860 and 866.
void ParadoxTypesSeeds() {
    const QString file = fuzz::ScratchFolder() + QStringLiteral("/tables/tipos.db");
    TTable t;
    t.SetDatabaseName(ExtractFilePath(file));
    t.SetTableName(QStringLiteral("tipos.db"));
    t.SetTableType(ttParadox);
    for (const auto& [name, type] : std::initializer_list<std::pair<const char*, TFieldType>>{
             {"NOME", ftString}, {"N", ftSmallint}, {"Q", ftInteger}, {"OK", ftBoolean}, {"V", ftFloat},
             {"C", ftCurrency}, {"D", ftDate}, {"T", ftTime}, {"TS", ftDateTime}})
        t.FieldDefs().Add(QLatin1String(name), type, type == ftString ? 12 : 0);
    t.CreateTable();
    TQuery q;
    q.SetSQLText(QStringLiteral("INSERT INTO \"") + file +
                 QStringLiteral("\" VALUES ('São João', -3, 100000, 1, -0.25, 12.34, '12000-06-15', '12:34:56.789', "
                                "'2001-02-03 04:05:06.789'), ('x', NULL, 7, 0, 1e300, NULL, '-0044-03-15', '00:00:00', "
                                "'1999-12-31 23:59:59')"));
    q.ExecSQL();
    QByteArray bytes = Read(file);
    Seed("paradox", QStringLiteral("types"), fuzz::JoinTwoFiles(bytes, {}));
    for (const int page : {860, 866}) {
        bytes[0x6A] = static_cast<char>(page & 0xFF);
        bytes[0x6B] = static_cast<char>(page >> 8);
        Seed("paradox", QStringLiteral("types-%1").arg(page), fuzz::JoinTwoFiles(bytes, {}));
    }
}

void ShapefileSeeds(const TSamplePlanFiles& plan) {
    const QString folder = fuzz::ScratchFolder() + QStringLiteral("/shapes");
    QDir().mkpath(folder);
    for (const char* name : {"remocoes.cam", "morros.cam", "logradouros.cam", "setores.cam", "geo_morros.cam"}) {
        const QString file = JoinPath(ExtractFilePath(plan.LayerFiles.front()), QString::fromLatin1(name));
        if (!QFileInfo::exists(file)) continue;
        TThemeLayer layer;
        layer.SetDatabaseName(ExtractFilePath(file));
        layer.SetLayerName(ExtractFileName(file));
        layer.Open();
        for (int mode : {smPlain, smMeasured, smZ}) {
            const QString shp = QStringLiteral("%1/%2-%3.shp").arg(folder).arg(QFileInfo(file).completeBaseName()).arg(mode);
            ExportShapefile(layer, shp, mode);
            Seed("shapefile", QFileInfo(shp).fileName(), Read(shp));
        }
    }
}

// DXF files written from the plan: single layers, and the whole geographic
// map.
void DxfSeeds(const TSamplePlanFiles& plan) {
    const QString folder = fuzz::ScratchFolder() + QStringLiteral("/dxf");
    QDir().mkpath(folder);
    for (const char* name : {"morros_rotulos.cam", "remocoes.cam", "logradouros.cam"}) {
        TThemeLayer layer;
        layer.LoadFromFile(JoinPath(ExtractFilePath(plan.LayerFiles.front()), QString::fromLatin1(name)));
        const QString dxf = folder + u'/' + QFileInfo(QString::fromLatin1(name)).completeBaseName() + QStringLiteral(".dxf");
        ExportDXF(layer, dxf);
        Seed("dxf", QFileInfo(dxf).fileName(), Read(dxf));
    }
    TGISDrawing view;
    view.LoadFromFile(plan.GeoMapFile);
    const QString all = folder + QStringLiteral("/geografico.dxf");
    ExportDrawingDXF(view.Layers(), all, {});
    Seed("dxf", QStringLiteral("geografico.dxf"), Read(all));
    // Drawings whose header names how their text is written (UTF-8 from
    // release 2007, a code page before), with entities the import passes
    // over.
    const auto lines = [](std::initializer_list<const char*> l) {
        QByteArray out;
        for (const char* x : l) out.append(x).append("\r\n");
        return out;
    };
    const QByteArray entities = lines({"0", "SECTION", "2", "ENTITIES", "0", "TEXT", "8", "\xC3\x81rea", "10", "1", "20", "2",
                                       "1", "\xC3\x81rea de Risco", "0", "LWPOLYLINE", "8", "\xC3\x81rea", "90", "2", "10", "0",
                                       "20", "0", "10", "1", "20", "1", "0", "MTEXT", "8", "0", "1", "nota", "0", "ENDSEC",
                                       "0", "EOF"});
    Seed("dxf", QStringLiteral("r2007-utf8.dxf"),
         lines({"0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1021", "9", "$DWGCODEPAGE", "3", "ANSI_1252", "0",
                "ENDSEC"}) + entities);
    Seed("dxf", QStringLiteral("r12-cp1251.dxf"),
         lines({"0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1009", "9", "$DWGCODEPAGE", "3", "ANSI_1251", "0",
                "ENDSEC"}) + entities);
}

// Small pictures made from the plan's photographs: JPEG at several
// qualities, grey and colour, and the formats Qt reads.
void PictureSeeds(const TSamplePlanFiles& plan) {
    const QStringList photos = FilesOf(ExtractFilePath(plan.DatabaseFile), {QStringLiteral("*.jpg")});
    int n = 0;
    for (const QString& photo : photos) {
        const QByteArray bytes = Read(photo);
        if (n < 2 && bytes.size() < 64 * 1024) Seed("jpeg", QFileInfo(photo).fileName(), bytes);
        if (n++ % 8 != 0) continue;
        const QImage image = DecodeJpeg(bytes, QSize(48, 36));
        const QString stem = QFileInfo(photo).completeBaseName();
        Seed("jpeg", stem + QStringLiteral("-q30.jpg"), EncodeJpeg(image, 30));
        Seed("jpeg", stem + QStringLiteral("-q95.jpg"), EncodeJpeg(image, 95));
        Seed("jpeg", stem + QStringLiteral("-grey.jpg"), EncodeJpeg(image.convertToFormat(QImage::Format_Grayscale8), 75));
        Seed("picture", stem + QStringLiteral(".jpg"), EncodeJpeg(image, 60));
        for (const char* format : {"PNG", "BMP", "PPM", "XPM", "GIF"}) {
            QByteArray data;
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            if (image.save(&buffer, format)) Seed("picture", stem + u'.' + QString::fromLatin1(format).toLower(), data);
        }
    }
}

void RtfSeeds(const TSamplePlanFiles& plan) {
    for (const QString& rtf : FilesOf(ExtractFilePath(plan.DatabaseFile), {QStringLiteral("*.rtf")})) {
        const QByteArray bytes = Read(rtf);
        if (bytes.size() < 64 * 1024) Seed("rtf", QFileInfo(rtf).fileName(), bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds <folder>\n");
        return 2;
    }
    out = QString::fromLocal8Bit(argv[1]);
    try {
        fuzz::StartApplication();
        const TSamplePlanFiles& plan = fuzz::SamplePlan();
        LayerSeeds(plan);
        MapSeeds(plan);
        CatalogueSeeds();
        TableSeeds(plan);
        ParadoxTypesSeeds();
        ShapefileSeeds(plan);
        DxfSeeds(plan);
        PictureSeeds(plan);
        RtfSeeds(plan);
        for (const fuzz::TRegression& r : fuzz::Regressions()) Seed(r.Target, QStringLiteral("regress-") + r.Name, r.Bytes);
    } catch (const EEngineError& e) {
        std::fprintf(stderr, "fuzz-seeds: %s\n", qPrintable(e.Message()));
        return 1;
    }
    std::printf("fuzz-seeds: %d seeds in %s\n", written, qPrintable(out));
    return 0;
}
