#include "tools/SamplePlan.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "coords/TransverseMercator.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "coords/MapProj.h"
#include "engine/layers/Layers.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "platform/db/Fields.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "platform/settings/Settings.h"
#include "tools/SampleParts.h"

const TSampleLayer kSampleThemeLayers[7] = {
    {"Setores de Risco (rótulos)", "setores_rotulos.cam"},
    {"Morros (rótulos)", "morros_rotulos.cam"},
    {"Remoções", "remocoes.cam"},
    {"Áreas de Risco", "areas_risco.cam"},
    {"Setores de Risco", "setores.cam"},
    {"Eixos de Logradouros", "logradouros.cam"},
    {"Limites dos Morros", "morros.cam"},
};

namespace {

constexpr double kPi = 3.14159265358979323846;

struct THill {
    QString Code, Name;
    double X, Y;   // summit, UTM metres
    double R;      // radius of the foot, metres
    double H;      // summit height above the foot, metres
    double A1, P1, A2, P2;  // shape of the rings
    bool LabelAbove;        // the name stands above the foot, else below
    // Distance from the summit of the ring at height h (0 = foot) towards
    // angle t.
    double Radius(double t, double h) const {
        const double shape = 1 + A1 * std::sin(2 * t + P1) + A2 * std::sin(3 * t + P2);
        return R * std::pow(std::max(0.0, 1 - h / H), 0.7) * shape;
    }
    TVertex At(double t, double rho) const { return {X + rho * std::cos(t), Y + rho * std::sin(t), 0}; }
};

std::vector<THill> MakeHills(TRandom& rnd) {
    struct TSeed {
        const char* Code;
        const char* Name;
        double X, Y, R, H;
        bool LabelAbove;
    };
    const TSeed seeds[] = {
        {"M01", "Morro do Alto da Serra", 552600, 8564200, 420, 85, true},
        {"M02", "Morro da Bica", 553750, 8564750, 360, 70, true},
        {"M03", "Morro do Cruzeiro", 553350, 8563450, 480, 95, false},
    };
    std::vector<THill> hills;
    for (const TSeed& s : seeds) {
        THill h{QString::fromUtf8(s.Code), QString::fromUtf8(s.Name), s.X, s.Y, s.R, s.H, 0, 0, 0, 0, s.LabelAbove};
        h.A1 = rnd.Range(0.05, 0.12);
        h.P1 = rnd.Range(0, 2 * kPi);
        h.A2 = rnd.Range(0.03, 0.07);
        h.P2 = rnd.Range(0, 2 * kPi);
        hills.push_back(h);
    }
    return hills;
}

// The full plan's 25 hills (the names of the plan's database, M01 first):
// five rows of five, 1250 m apart, each a little off its place.
std::vector<THill> MakeFullHills(TRandom& rnd) {
    const char* const names[25] = {
        "Morro do Alto da Serra",   "Morro da Bica",          "Morro do Cruzeiro",
        "Morro da Conceição",        "Morro de São João",      "Morro de São João do Cabula",
        "Morro do Pôr do Sol",       "Morro da Gamboa de Cima", "Morro da Ladeira da Preguiça",
        "Morro do Alto do Cabrito",  "Morro da Boa Vista",     "Morro do Calabetão",
        "Morro do Engenho Velho",    "Morro da Fazenda Grande", "Morro de Jaguaribe",
        "Morro do Lobato",           "Morro da Mata Escura",   "Morro do Nordeste",
        "Morro de Pernambués",       "Morro da Plataforma",    "Morro de Santa Mônica",
        "Morro de Sussuarana",       "Morro de Tancredo Neves", "Morro do Uruguai",
        "Morro da Vila Ruy Barbosa"};
    std::vector<THill> hills;
    for (int k = 0; k < 25; ++k) {
        THill h;
        h.Code = QStringLiteral("M%1").arg(k + 1, 2, 10, QLatin1Char('0'));
        h.Name = QString::fromUtf8(names[k]);
        h.X = 550600 + 1250.0 * (k % 5) + rnd.Range(-120, 120);
        h.Y = 8561200 + 1250.0 * (k / 5) + rnd.Range(-120, 120);
        h.R = rnd.Range(340, 470);
        h.H = std::floor(rnd.Range(70, 110));
        h.A1 = rnd.Range(0.05, 0.12);
        h.P1 = rnd.Range(0, 2 * kPi);
        h.A2 = rnd.Range(0.03, 0.07);
        h.P2 = rnd.Range(0, 2 * kPi);
        h.LabelAbove = k % 2 == 0;
        hills.push_back(h);
    }
    return hills;
}

std::vector<TVertex> Ring(const THill& hill, double h, int steps = 72) {
    std::vector<TVertex> v;
    for (int i = 0; i < steps; ++i) {
        const double t = 2 * kPi * i / steps;
        v.push_back(hill.At(t, hill.Radius(t, h)));
    }
    return v;
}

// A sector of the slope: between two angles, from inner to outer share of
// the foot's radius.
std::vector<TVertex> Wedge(const THill& hill, double t1, double t2, double inner, double outer) {
    std::vector<TVertex> v;
    const int steps = 12;
    for (int i = 0; i <= steps; ++i) {
        const double t = t1 + (t2 - t1) * i / steps;
        v.push_back(hill.At(t, outer * hill.Radius(t, 0)));
    }
    for (int i = steps; i >= 0; --i) {
        const double t = t1 + (t2 - t1) * i / steps;
        v.push_back(hill.At(t, inner * hill.Radius(t, 0)));
    }
    return v;
}

// A contour line of the full plan: the ring at height h with the small
// bends of a surveyed line, a vertex every 2.4 m or so.
std::vector<TVertex> SurveyedRing(const THill& hill, double h) {
    const double mean = hill.R * std::pow(std::max(0.0, 1 - h / hill.H), 0.7);
    const int steps = std::max(16, int(2 * kPi * mean / 2.4));
    std::vector<TVertex> v;
    v.reserve(std::size_t(steps) + 1);
    for (int i = 0; i < steps; ++i) {
        const double t = 2 * kPi * i / steps;
        const double bend = 1 + 0.015 * std::sin(17 * t + 0.9 * h) + 0.008 * std::sin(41 * t + 1.7 * h);
        v.push_back(hill.At(t, hill.Radius(t, h) * bend));
    }
    v.push_back(v.front());
    return v;
}

// A path up the slope from the foot towards the top, winding a little.
std::vector<TVertex> Climb(TRandom& rnd, const THill& hill, int steps) {
    const double t = rnd.Range(0, 2 * kPi), top = rnd.Range(0.1, 0.5), wind = rnd.Range(0.02, 0.08);
    std::vector<TVertex> v;
    for (int i = 0; i <= steps; ++i) {
        const double share = 1.02 - (1.02 - top) * i / steps;
        const double tt = t + wind * std::sin(i * 0.7);
        v.push_back(hill.At(tt, share * hill.Radius(tt, 0)));
    }
    return v;
}

std::vector<TVertex> Blob(TRandom& rnd, double x, double y, double r) {
    std::vector<TVertex> v;
    const double a = rnd.Range(0.1, 0.25), p = rnd.Range(0, 2 * kPi);
    for (int i = 0; i < 16; ++i) {
        const double t = 2 * kPi * i / 16;
        const double rho = r * (1 + a * std::sin(3 * t + p));
        v.push_back({x + rho * std::cos(t), y + rho * std::sin(t), 0});
    }
    return v;
}

std::vector<TVertex> Box(double x, double y, double w, double h, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    std::vector<TVertex> v;
    for (auto [dx, dy] : {std::pair{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}})
        v.push_back({x + dx * c - dy * s, y + dx * s + dy * c, 0});
    return v;
}

// One field of an attribute table.
struct TFieldSpec {
    const char* Name;
    TFieldType Type;
    int Size;
};
using TRecord = std::vector<QString>;  // values in field order; the first is "ID"

// What a layer holds (its ThemeLayerType; legends and new layers look at
// the last digit).
enum TSampleLayerType : std::int32_t { ltPoints = 0, ltLines = 1, ltAreas = 2, ltTexts = 3 };

// A layer being made: its objects and their records.
struct TLayerData {
    QString Caption, FileName;
    TSampleLayerType Type;
    std::vector<TFieldSpec> Fields;
    std::vector<std::unique_ptr<TVisualObject>> Objects;
    std::vector<TRecord> Records;
    TColor Line = clBlack, Fill = clWhite;
    TFillStyle FillStyle = fsSolid;
    int LineWidth = 1;
    TFont Font;

    TLayerData(QString caption, QString fileName, TSampleLayerType type, std::vector<TFieldSpec> fields)
        : Caption(std::move(caption)), FileName(std::move(fileName)), Type(type), Fields(std::move(fields)) {}

    void Add(std::unique_ptr<TVisualObject> object, TRecord rest) {
        // The key as the layer file gives it back: 20 hexadecimal digits.
        const QString id = QStringLiteral("%1").arg(Objects.size() + 1, 20, 16, QLatin1Char('0')).toUpper();
        object->SetId(id);
        rest.insert(rest.begin(), id);
        Objects.push_back(std::move(object));
        Records.push_back(std::move(rest));
    }
};

std::unique_ptr<TPolygon> MakePolygon(std::vector<TVertex> v) {
    auto p = std::make_unique<TPolygon>();
    p->AddContour(std::move(v));
    return p;
}

std::unique_ptr<TPolyLine> MakeLine(std::vector<TVertex> v) {
    auto p = std::make_unique<TPolyLine>();
    p->AddContour(std::move(v));
    return p;
}

std::unique_ptr<TText> MakeText(const QString& text, double x, double y) {
    auto t = std::make_unique<TText>();
    t->SetText(text);
    t->SetInsertionPoint(x, y);
    return t;
}

// The projection of the plan's map and of its layers: UTM (zone 24 south,
// the parameters' defaults), or geographic for the small map; both on the
// application's default ellipsoid and datum.
constexpr std::int32_t kUTM = 1, kGeographic = 0;

QString TableFileName(const TLayerData& data) { return ChangeFileExt(data.FileName, QStringLiteral(".dbf")); }

// A theme layer as the map and its layer file name it: caption, place,
// type, coordinate system and attribute table (beside the layer file: no
// folder stored).
void Describe(TThemeLayer& layer, const TLayerData& data, const QString& folder, std::int32_t projection) {
    layer.SetCaption(data.Caption);
    layer.SetDatabaseName(folder);
    layer.SetLayerName(data.FileName);
    layer.SetThemeLayerType(data.Type);
    layer.SetProjection(projection);
    layer.SetEllipsoid(kDefaultEllipsoid);
    layer.SetDatum(kDefaultDatum);
    layer.SetTableDatabaseName(QString());
    layer.SetTableName(TableFileName(data));
    // The same symbology in the map's layer record and in the style file.
    TThemeClass* d = layer.Defaults();
    d->SetLineColor(data.Line);
    d->SetFillColor(data.Fill);
    d->SetFillStyle(data.FillStyle);
    d->SetLineWidth(data.LineWidth);
    d->SetTextFont(data.Font);
}

// Writes the layer file, its style file and its table into the folder.
void WriteLayer(TLayerData& data, const QString& folder, std::int32_t projection) {
    const QString path = JoinPath(folder, data.FileName);
    QFile::remove(path);
    {
        TThemeLayer writer;
        Describe(writer, data, folder, projection);
        writer.SetDatabaseName(folder);
        writer.SetLayerName(data.FileName);
        writer.Edit();
        for (auto& o : data.Objects) writer.Add(std::move(o));
        writer.InternalPost();
        writer.EndEdit();
        writer.SaveStyleToFile(ChangeFileExt(path, QStringLiteral(".lgc")));
    }
    data.Objects.clear();

    const QString tableName = TableFileName(data);
    QFile::remove(JoinPath(folder, tableName));
    TTable table;
    table.SetDatabaseName(folder);
    table.SetTableName(tableName);
    table.SetTableType(ttDBase);
    table.SetTableLevel(4);
    for (const TFieldSpec& f : data.Fields) table.FieldDefs().Add(QString::fromUtf8(f.Name), f.Type, f.Size);
    table.CreateTable();
    table.Open();
    // Many records go in one transaction: the table is written to disk once,
    // not once a record.
    const bool batch = data.Records.size() > 1000;
    TQuery transaction;
    transaction.SetDatabaseName(folder);
    if (batch) {
        transaction.SetSQLText(QStringLiteral("BEGIN"));
        transaction.ExecSQL();
    }
    for (const TRecord& r : data.Records) {
        table.Append();
        for (std::size_t i = 0; i < r.size() && i < data.Fields.size(); ++i)
            table.Fields(static_cast<int>(i))->SetAsString(r[i]);
        table.Post();
    }
    if (batch) {
        transaction.SetSQLText(QStringLiteral("COMMIT"));
        transaction.ExecSQL();
    }
    table.Close();
}

TColor Rgb(int r, int g, int b) { return TColor(r | (g << 8) | (b << 16)); }

QString Num(double v, int decimals) { return QString::number(v, 'f', decimals); }

// The drawing file naming the layers (stored relative to the map's folder).
void WriteMap(const QString& mapFile, const QString& title, const QString& layerFolder,
              const std::vector<TLayerData*>& layers, std::int32_t projection, double x1, double y1, double x2,
              double y2) {
    TGISDrawing view;
    view.SetProjection(projection);
    view.SetEllipsoid(kDefaultEllipsoid);
    view.SetDatum(kDefaultDatum);
    view.resize(900, 520);
    const QString folder = ExtractFilePath(mapFile);
    view.SetDatabaseName(folder);
    view.SetDrawingName(ExtractFileName(mapFile));
    view.SetTitle(title);
    view.SetAuthor(QStringLiteral("Equipe do TREL"));
    view.SetOrganization(QStringLiteral("Prefeitura Municipal"));
    view.SetLeftLimit(x1);
    view.SetBottomLimit(y1);
    view.SetRightLimit(x2);
    view.SetTopLimit(y2);
    for (TLayerData* d : layers) {
        auto layer = std::make_unique<TThemeLayer>(&view);
        Describe(*layer, *d, layerFolder, projection);
        view.Layers().Add(std::move(layer));
    }
    view.ZoomWindow(x1, y1, x2, y2);
    view.SaveToFile(mapFile);
}

}  // namespace

QString SampleMapFile(const QString& folder) { return JoinPath(folder, QStringLiteral("Marvela/trel.map")); }

QString SampleDatabaseFile(const QString& folder) { return JoinPath(folder, QStringLiteral("trel.db")); }

bool RegisterSampleAlias(const QString& folder, bool replace) {
    if (!replace && Session().IsAlias(kSampleAlias)) return false;
    Session().AddStandardAlias(kSampleAlias, QFileInfo(SampleDatabaseFile(folder)).absoluteFilePath());
    return true;
}

QStringList RegisterSampleDefaults(const QString& folder) {
    const QString values[][2] = {{QStringLiteral("Source"), QDir(folder).absolutePath()},
                                 {QStringLiteral("DefaultMap"), QFileInfo(SampleMapFile(folder)).absoluteFilePath()},
                                 {QStringLiteral("DefaultMapTitle"), kSampleMapTitle}};
    QStringList written;
    for (const auto& [name, value] : values) {
        if (Settings::ValueExists(kSampleSettingsKey, name)) continue;
        Settings::WriteString(kSampleSettingsKey, name, value);
        written << name;
    }
    return written;
}

namespace {

// The seven theme layers of the plan's map, with their fields and
// symbology, empty.
struct TPlanLayers {
    TLayerData Morros{QStringLiteral("Limites dos Morros"), QStringLiteral("morros.cam"), ltAreas,
                      {{"ID", ftString, 20}, {"morro", ftString, 3}, {"nome", ftString, 40}, {"area_ha", ftFloat, 0}}};
    TLayerData Setores{QStringLiteral("Setores de Risco"), QStringLiteral("setores.cam"), ltAreas,
                       {{"ID", ftString, 20}, {"morrosetor", ftString, 6}, {"morro", ftString, 3},
                        {"setor", ftString, 3}, {"risco", ftString, 12}, {"moradias", ftInteger, 0}}};
    TLayerData Areas{QStringLiteral("Áreas de Risco"), QStringLiteral("areas_risco.cam"), ltAreas,
                     {{"ID", ftString, 20}, {"morrosetor", ftString, 6}, {"morro", ftString, 3},
                      {"tipo", ftString, 30}}};
    TLayerData Remocoes{QStringLiteral("Remoções"), QStringLiteral("remocoes.cam"), ltAreas,
                        {{"ID", ftString, 20}, {"morrosetor", ftString, 6}, {"morro", ftString, 3},
                         {"moradias", ftInteger, 0}}};
    TLayerData Logradouros{QStringLiteral("Eixos de Logradouros"), QStringLiteral("logradouros.cam"), ltLines,
                           {{"ID", ftString, 20}, {"nome", ftString, 40}, {"tipo", ftString, 12}}};
    TLayerData MorrosRotulos{QStringLiteral("Morros (rótulos)"), QStringLiteral("morros_rotulos.cam"), ltTexts,
                             {{"ID", ftString, 20}, {"morro", ftString, 3}, {"texto", ftString, 50}}};
    TLayerData SetoresRotulos{QStringLiteral("Setores de Risco (rótulos)"), QStringLiteral("setores_rotulos.cam"),
                              ltTexts, {{"ID", ftString, 20}, {"morrosetor", ftString, 6}, {"texto", ftString, 10}}};

    TPlanLayers() {
        Morros.Line = Rgb(120, 80, 20);
        Morros.Fill = Rgb(236, 226, 196);
        Morros.LineWidth = 2;
        Setores.Line = Rgb(150, 0, 0);
        Setores.Fill = Rgb(255, 200, 150);
        Setores.FillStyle = fsBDiagonal;
        Areas.Line = Rgb(200, 0, 0);
        Areas.Fill = Rgb(240, 60, 60);
        Remocoes.Line = clBlack;
        Remocoes.Fill = Rgb(90, 0, 120);
        Logradouros.Line = Rgb(60, 60, 60);
        Logradouros.LineWidth = 2;
        MorrosRotulos.Font = TFont{QStringLiteral("Arial"), 10, Rgb(80, 40, 0), {}};
        SetoresRotulos.Font = TFont{QStringLiteral("Arial"), 7, Rgb(150, 0, 0), {}};
    }
    // In the map's order, the top one first.
    std::vector<TLayerData*> InMapOrder() {
        return {&SetoresRotulos, &MorrosRotulos, &Remocoes, &Areas, &Setores, &Logradouros, &Morros};
    }
};

// The risk of a grade of the records, in words ("R3": "Alto").
QString RiskWords(const QString& grade) {
    const char* const kRisks[] = {"Baixo", "Médio", "Alto", "Muito Alto"};
    const int level = grade.mid(1).toInt();
    return level >= 1 && level <= 4 ? QString::fromUtf8(kRisks[level - 1]) : grade;
}

// Each hill's outline and name, and its five sectors with their labels,
// risk areas and removals. A sector's dwellings and risk are those of its
// record in the plan's database.
void AddHills(TPlanLayers& layers, const std::vector<THill>& hills, const std::map<QString, TSectorFacts>& facts,
              TRandom& rnd) {
    for (const THill& hill : hills) {
        const std::vector<TVertex> foot = Ring(hill, 0);
        double area = 0;
        for (std::size_t i = 0; i < foot.size(); ++i) {
            const TVertex& a = foot[i];
            const TVertex& b = foot[(i + 1) % foot.size()];
            area += a.X * b.Y - b.X * a.Y;
        }
        layers.Morros.Add(MakePolygon(foot), {hill.Code, hill.Name, Num(std::abs(area) / 2 / 10000, 2)});
        // The hill's name (centred on its point) above or below its foot, clear of the sectors'
        // labels and of the other hills.
        const double labelY = hill.LabelAbove ? hill.Y + 1.2 * hill.Radius(kPi / 2, 0)
                                              : hill.Y - 1.15 * hill.Radius(3 * kPi / 2, 0);
        layers.MorrosRotulos.Add(MakeText(hill.Code + QStringLiteral(" - ") + hill.Name, hill.X, labelY),
                                 {hill.Code, hill.Code + QStringLiteral(" - ") + hill.Name});
        const int sectorCount = 5;
        const double offset = rnd.Range(0, 2 * kPi);
        for (int s = 0; s < sectorCount; ++s) {
            const double t1 = offset + 2 * kPi * s / sectorCount + 0.03;
            const double t2 = offset + 2 * kPi * (s + 1) / sectorCount - 0.03;
            const QString sector = QStringLiteral("S%1").arg(s + 1, 2, 10, QLatin1Char('0'));
            const QString code = hill.Code + sector;
            // Two draws that once made up the sector's facts: still drawn,
            // so that the shapes after them stay where they were.
            rnd.Next();
            rnd.Next();
            const auto known = facts.find(code);
            if (known == facts.end()) throw EEngineError(QStringLiteral("The records lack the sector %1").arg(code));
            layers.Setores.Add(MakePolygon(Wedge(hill, t1, t2, 0.25, 0.9)),
                               {code, hill.Code, sector, RiskWords(known->second.Grade),
                                QString::number(known->second.Homes)});
            const double tm = (t1 + t2) / 2;
            const TVertex centre = hill.At(tm, 0.575 * hill.Radius(tm, 0));
            layers.SetoresRotulos.Add(MakeText(sector, centre.X - 8, centre.Y + 30), {code, sector});
            // A risk area on the sector's slope, away from its centre.
            const TVertex spot = hill.At(tm + 0.18, 0.7 * hill.Radius(tm + 0.18, 0));
            layers.Areas.Add(MakePolygon(Blob(rnd, spot.X, spot.Y, rnd.Range(22, 38))),
                             {code, hill.Code,
                              rnd.Next() < 0.5 ? QStringLiteral("Deslizamento") : QStringLiteral("Queda de blocos")});
            const int removals = 1 + int(rnd.Range(0, 3));
            for (int k = 0; k < removals; ++k)
                layers.Remocoes.Add(MakePolygon(Box(spot.X + rnd.Range(-12, 12), spot.Y + rnd.Range(-12, 12), 9, 7,
                                                    rnd.Range(0, kPi))),
                                    {code, hill.Code, QString::number(1 + int(rnd.Range(0, 4)))});
        }
    }
}

// The streets: one avenue along the valley between the hills (one along
// each valley in the full plan), and a street from it round the foot of
// each hill and one up its slope. Each is also a record of the
// street-axis table, under the same "ID".
std::vector<TSampleStreet> AddStreets(TLayerData& logradouros, const std::vector<THill>& hills, bool full,
                                      TRandom& rnd) {
    const QStringList streetNames = {QStringLiteral("Avenida Vale do Canela"), QStringLiteral("Rua da Ladeira"),
                                     QStringLiteral("Rua Nova do Alto"), QStringLiteral("Travessa da Bica"),
                                     QStringLiteral("Rua do Cruzeiro"), QStringLiteral("Rua São Jorge")};
    std::vector<TSampleStreet> streets;
    auto addStreet = [&](const std::vector<TVertex>& v, const QString& name, const QString& kind) {
        double length = 0;
        for (std::size_t i = 1; i < v.size(); ++i) length += std::hypot(v[i].X - v[i - 1].X, v[i].Y - v[i - 1].Y);
        logradouros.Add(MakeLine(v), {name, kind});
        const QString code = name.startsWith(QStringLiteral("Avenida"))    ? QStringLiteral("AV")
                             : name.startsWith(QStringLiteral("Travessa")) ? QStringLiteral("TV")
                                                                           : QStringLiteral("R");
        streets.push_back({logradouros.Records.back().front(), name, code, length});
    };
    if (!full) {
        std::vector<TVertex> avenue;
        for (int i = 0; i <= 40; ++i) {
            const double x = 551900 + 2600.0 * i / 40;
            avenue.push_back({x, 8564050 + 260 * std::sin((x - 551900) / 520) + 0.18 * (x - 551900), 0});
        }
        addStreet(avenue, streetNames[0], QStringLiteral("Avenida"));
    } else {
        for (int row = 0; row <= 5; ++row) {
            std::vector<TVertex> avenue;
            const double y0 = 8561200 - 625 + 1250.0 * row;
            for (int i = 0; i <= 160; ++i) {
                const double x = 549700 + 6600.0 * i / 160;
                avenue.push_back({x, y0 + 60 * std::sin((x - 549700) / 310 + row), 0});
            }
            addStreet(avenue, streetNames[0], QStringLiteral("Avenida"));
        }
    }
    int n = 1;
    for (const THill& hill : hills) {
        std::vector<TVertex> ring;
        for (int i = 0; i <= 54; ++i) {
            const double t = kPi * 1.1 + 1.5 * kPi * i / 54;
            ring.push_back(hill.At(t, 1.06 * hill.Radius(t, 0)));
        }
        addStreet(ring, streetNames[n++ % streetNames.size()], QStringLiteral("Rua"));
        // up the slope towards the top
        const double t = rnd.Range(0, 2 * kPi);
        std::vector<TVertex> climb;
        for (int i = 0; i <= 10; ++i) {
            const double share = 1.06 - 0.8 * i / 10;
            const double tt = t + 0.4 * std::sin(i * 0.9);
            climb.push_back(hill.At(tt, share * hill.Radius(tt, 0)));
        }
        addStreet(climb, streetNames[n++ % streetNames.size()], QStringLiteral("Rua"));
    }
    return streets;
}

// Writes the layers into the folder and lists their files.
void WriteLayers(const std::vector<TLayerData*>& layers, const QString& layerFolder, std::int32_t projection,
                 TSamplePlanFiles& out) {
    for (TLayerData* d : layers) {
        WriteLayer(*d, layerFolder, projection);
        out.LayerFiles << JoinPath(layerFolder, d->FileName);
    }
}

// The four base layers of a hill: contours, buildings, stairways and
// ramps, lanes.
void WriteBaseLayers(const THill& hill, bool full, TRandom& rnd, const QString& layerFolder, TSamplePlanFiles& out) {
    const QString prefix = hill.Code.toLower();
    TLayerData curvas{hill.Code + QStringLiteral(" - Curvas de Nível"), prefix + QStringLiteral("_curvas_nivel.cam"),
                      ltLines, {{"ID", ftString, 20}, {"cota", ftInteger, 0}}};
    curvas.Line = Rgb(160, 110, 50);
    // Every 5 m in the small sample, every metre in the full plan.
    for (double h = 0; h < hill.H; h += full ? 1 : 5) {
        std::vector<TVertex> ring;
        if (full) {
            ring = SurveyedRing(hill, h);
        } else {
            ring = Ring(hill, h, 96);
            ring.push_back(ring.front());
        }
        curvas.Add(MakeLine(std::move(ring)), {QString::number(int(10 + h))});
    }
    TLayerData edificacoes{hill.Code + QStringLiteral(" - Edificações"), prefix + QStringLiteral("_edificacao.cam"),
                           ltAreas, {{"ID", ftString, 20}, {"pavimentos", ftInteger, 0}}};
    edificacoes.Line = Rgb(90, 90, 90);
    edificacoes.Fill = Rgb(200, 200, 200);
    const int buildings = full ? 3000 + rnd.Below(2001) : 160;
    for (int i = 0; i < buildings; ++i) {
        const double t = rnd.Range(0, 2 * kPi);
        const double share = rnd.Range(0.3, 1.0);
        const TVertex p = hill.At(t, share * hill.Radius(t, 0));
        edificacoes.Add(MakePolygon(Box(p.X, p.Y, rnd.Range(6, 12), rnd.Range(5, 9), t)),
                        {QString::number(1 + int(rnd.Range(0, 3)))});
    }
    TLayerData escadarias{hill.Code + QStringLiteral(" - Escadarias e Rampas"),
                          prefix + QStringLiteral("_escadarias_rampas.cam"), ltLines,
                          {{"ID", ftString, 20}, {"tipo", ftString, 10}}};
    escadarias.Line = Rgb(0, 110, 160);
    if (!full) {
        for (int i = 0; i < 8; ++i) {
            const double t = 2 * kPi * i / 8 + rnd.Range(-0.2, 0.2);
            escadarias.Add(MakeLine({hill.At(t, 1.02 * hill.Radius(t, 0)), hill.At(t + 0.05, 0.5 * hill.Radius(t, 0)),
                                     hill.At(t, 0.3 * hill.Radius(t, 0))}),
                           {i % 3 == 0 ? QStringLiteral("Rampa") : QStringLiteral("Escadaria")});
        }
    } else {
        for (int i = 0; i < 60; ++i)
            escadarias.Add(MakeLine(Climb(rnd, hill, 24)),
                           {i % 3 == 0 ? QStringLiteral("Rampa") : QStringLiteral("Escadaria")});
    }
    TLayerData vias{hill.Code + QStringLiteral(" - Vias"), prefix + QStringLiteral("_vias.cam"), ltLines,
                    {{"ID", ftString, 20}, {"nome", ftString, 40}}};
    vias.Line = Rgb(110, 110, 110);
    // Small: three lanes round the slope; full: forty, of 60 to 100
    // vertices each.
    const int lanes = full ? 40 : 3;
    for (int ring = 0; ring < lanes; ++ring) {
        const double h = full ? hill.H * rnd.Range(0.05, 0.8) : hill.H * (0.15 + 0.25 * ring);
        const double t0 = rnd.Range(0, 2 * kPi);
        const int steps = full ? 60 + rnd.Below(41) : 30;
        const double sweep = full ? rnd.Range(0.3, 1.2) * kPi : 1.2 * kPi;
        std::vector<TVertex> v;
        for (int i = 0; i <= steps; ++i) {
            const double t = t0 + sweep * i / steps;
            v.push_back(hill.At(t, hill.Radius(t, h)));
        }
        vias.Add(MakeLine(v), {QStringLiteral("Beco %1 do %2").arg(ring + 1).arg(hill.Name)});
    }
    WriteLayers({&curvas, &edificacoes, &escadarias, &vias}, layerFolder, kUTM, out);
}

// The plan's map over its theme layers: the small sample's fixed limits,
// or the full plan's hills with a margin.
void WritePlanMap(const QString& mapFile, const std::vector<TLayerData*>& theme, const std::vector<THill>& hills,
                  bool full) {
    const QString title = QStringLiteral("TREL - Inventário dos morros");
    if (!full) {
        WriteMap(mapFile, title, QStringLiteral("camadas"), theme, kUTM, 551800, 8562650, 554500, 8565350);
        return;
    }
    double x1 = 1e300, y1 = 1e300, x2 = -1e300, y2 = -1e300;
    for (const THill& hill : hills) {
        x1 = std::min(x1, hill.X - 1.4 * hill.R);
        y1 = std::min(y1, hill.Y - 1.4 * hill.R);
        x2 = std::max(x2, hill.X + 1.4 * hill.R);
        y2 = std::max(y2, hill.Y + 1.4 * hill.R);
    }
    WriteMap(mapFile, title, QStringLiteral("camadas"), theme, kUTM, std::floor(x1), std::floor(y1), std::ceil(x2),
             std::ceil(y2));
}

// The small map in geographic coordinates: the hills' limits and labels,
// projected back with the default datum's ellipsoid (South American 1969),
// zone 24 (central meridian 39 W). Answers the map file.
QString WriteGeographicMap(const std::vector<THill>& hills, const QString& mapFolder, const QString& layerFolder,
                           TSamplePlanFiles& out) {
    const TTransverseMercator tm(6378160.0, 1 / 298.25, 0.9996);
    auto toGeo = [&tm](const TVertex& v) {
        double lat = 0, lon = 0;
        tm.Inverse(-39.0, v.X - 500000.0, v.Y - 10000000.0, lat, lon);
        return TVertex{lon, lat, 0};
    };
    TLayerData geoMorros{QStringLiteral("Limites dos Morros"), QStringLiteral("geo_morros.cam"), ltAreas,
                         {{"ID", ftString, 20}, {"morro", ftString, 3}, {"nome", ftString, 40}}};
    geoMorros.Line = Rgb(120, 80, 20);
    geoMorros.Fill = Rgb(236, 226, 196);
    TLayerData geoRotulos{QStringLiteral("Morros (rótulos)"), QStringLiteral("geo_morros_rotulos.cam"), ltTexts,
                          {{"ID", ftString, 20}, {"morro", ftString, 3}}};
    geoRotulos.Font = TFont{QStringLiteral("Arial"), 9, Rgb(80, 40, 0), {}};
    double x1 = 1e9, y1 = 1e9, x2 = -1e9, y2 = -1e9;
    for (const THill& hill : hills) {
        std::vector<TVertex> ring;
        for (const TVertex& v : Ring(hill, 0, 36)) {
            ring.push_back(toGeo(v));
            x1 = std::min(x1, ring.back().X);
            y1 = std::min(y1, ring.back().Y);
            x2 = std::max(x2, ring.back().X);
            y2 = std::max(y2, ring.back().Y);
        }
        geoMorros.Add(MakePolygon(ring), {hill.Code, hill.Name});
        const TVertex c = toGeo({hill.X, hill.Y, 0});
        geoRotulos.Add(MakeText(hill.Code, c.X, c.Y), {hill.Code});
    }
    const std::vector<TLayerData*> geo = {&geoRotulos, &geoMorros};
    WriteLayers(geo, layerFolder, kGeographic, out);
    const QString mapFile = JoinPath(mapFolder, QStringLiteral("geografico.map"));
    const double mx = (x2 - x1) * 0.1, my = (y2 - y1) * 0.1;
    WriteMap(mapFile, QStringLiteral("Morros em coordenadas geográficas"), QStringLiteral("camadas"), geo, kGeographic,
             x1 - mx, y1 - my, x2 + mx, y2 + my);
    return mapFile;
}

// The marker that makes the folder a data folder, naming the generator.
void WriteTag(const QString& folder, bool full) {
    QFile tag(JoinPath(folder, QStringLiteral("source.tag")));
    if (!tag.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFileError(QStringLiteral("Cannot write \"%1\"").arg(tag.fileName()));
    tag.write(full ? kFullPlanTag : kSamplePlanTag);
    tag.write("\r\n");
}

}  // namespace

TSamplePlanFiles WriteSamplePlan(const QString& folder, TSamplePlanSize size) {
    const bool full = size == TSamplePlanSize::Full;
    TSamplePlanFiles out;
    const QString mapFolder = JoinPath(folder, QStringLiteral("Marvela"));
    const QString layerFolder = JoinPath(mapFolder, QStringLiteral("camadas"));
    if (!QDir().mkpath(layerFolder)) throw EFileError(QStringLiteral("Cannot create folder \"%1\"").arg(layerFolder));

    // Every shape follows from one seed, drawn in this order.
    TRandom rnd(20021208);
    const std::vector<THill> hills = full ? MakeFullHills(rnd) : MakeHills(rnd);
    // The records first: the map's sectors repeat their facts.
    out.DatabaseFile = SampleDatabaseFile(folder);
    const TSampleRecords records = WriteSampleDatabase(out.DatabaseFile, int(hills.size()));
    TPlanLayers layers;
    AddHills(layers, hills, records.Sectors, rnd);
    const std::vector<TSampleStreet> streets = AddStreets(layers.Logradouros, hills, full, rnd);
    const std::vector<TLayerData*> theme = layers.InMapOrder();
    WriteLayers(theme, layerFolder, kUTM, out);
    for (const THill& hill : hills) WriteBaseLayers(hill, full, rnd, layerFolder, out);

    out.MapFile = SampleMapFile(folder);
    WritePlanMap(out.MapFile, theme, hills, full);
    out.GeoMapFile = WriteGeographicMap(hills, mapFolder, layerFolder, out);

    // The street table beside the layers, and the media the records name.
    WriteStreetAxes(layerFolder, streets);
    WriteSampleMedia(folder, records.Pictures);
    WriteTag(folder, full);
    return out;
}
