// The sample's records: the plan's database (25 hills, their risk sectors,
// the works priorities) and the street-axis table beside the map's layers.
#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include "core/Errors.h"
#include "core/Paths.h"
#include "platform/db/Fields.h"
#include "platform/db/Table.h"
#include "tools/SampleParts.h"

namespace {

// The hills: the first three are those of the map. "São João" and "São
// João do Cabula" share the beginning of their names.
const char* const kHillNames[25] = {
    "Alto da Serra",     "Bica",           "Cruzeiro",         "Conceição",         "São João",
    "São João do Cabula", "Pôr do Sol",     "Gamboa de Cima",   "Ladeira da Preguiça", "Alto do Cabrito",
    "Boa Vista",         "Calabetão",      "Engenho Velho",    "Fazenda Grande",    "Jaguaribe",
    "Lobato",            "Mata Escura",    "Nordeste",         "Pernambués",        "Plataforma",
    "Santa Mônica",      "Sussuarana",     "Tancredo Neves",   "Uruguai",           "Vila Ruy Barbosa",
};
// The hills with photographs and orthophotos.
constexpr int kPhotographedHills = 3;

const char* const kStreets[] = {"Rua da Ladeira", "Rua Nova do Alto", "Travessa São Jorge", "Rua do Cruzeiro",
                                "Beco da Conceição", "Rua Direta", "Escadaria da Fé", "Rua Água Branca"};
const char* const kProcesses[] = {"Escorregamento planar", "Queda de blocos", "Rastejo",
                                  "Erosão e solapamento", "Escorregamento em talude de corte"};
const char* const kOccupation[] = {
    "Ocupação densa, com casas de alvenaria de dois pavimentos e acesso por escadarias.",
    "Ocupação espontânea em encosta íngreme, sem drenagem nem contenção.",
    "Ocupação consolidada na base e recente no topo, com cortes verticais para as moradias.",
};
const char* const kGeology[] = {
    "Solo residual de granulito, espesso e argiloso, sobre rocha alterada.",
    "Sedimentos da Formação Barreiras sobre embasamento cristalino.",
    "Afloramentos de rocha fraturada com blocos soltos na meia encosta.",
};
const char* const kGeomorphology[] = {
    "Encostas convexas com declividade entre 30° e 45°, vales em V.",
    "Topo aplainado e vertentes retilíneas, com cicatrizes de escorregamentos antigos.",
    "Anfiteatro de drenagem com concentração de águas pluviais no talvegue.",
};
const char* const kWorks[] = {
    "Muro de contenção em concreto armado, drenagem superficial e retaludamento.",
    "Cortina atirantada, canaletas e escadaria drenante.",
    "Remoção de moradias em risco muito alto, revegetação e tela de proteção.",
};

// A database being written: statements with bound values.
class TWriter {
public:
    explicit TWriter(const QString& file) : file_(file) {
        QFile::remove(file);
        if (sqlite3_open_v2(file.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            Fail();
        // A new file that nothing else reads meanwhile: no waiting for the disk.
        Exec("PRAGMA synchronous=OFF");
        Exec("BEGIN");
    }
    ~TWriter() { sqlite3_close(db_); }
    void Commit() { Exec("COMMIT"); }

    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
    }
    // Inserts one row: texts (a null QString is NULL), integers and reals
    // given as QVariant.
    void Insert(const char* table, const QVariantList& values) {
        QString sql = QStringLiteral("INSERT INTO %1 VALUES (").arg(QString::fromLatin1(table));
        for (int i = 0; i < values.size(); ++i) sql += i ? QStringLiteral(",?") : QStringLiteral("?");
        sql += u')';
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) Fail();
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& v = values[i];
            if (v.typeId() == QMetaType::Int) sqlite3_bind_int(st, i + 1, v.toInt());
            else if (v.typeId() == QMetaType::Double) sqlite3_bind_double(st, i + 1, v.toDouble());
            else if (v.toString().isNull()) sqlite3_bind_null(st, i + 1);
            else {
                const QByteArray u = v.toString().toUtf8();
                sqlite3_bind_text(st, i + 1, u.constData(), u.size(), SQLITE_TRANSIENT);
            }
        }
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) Fail();
    }

private:
    [[noreturn]] void Fail() {
        throw EFileError(QStringLiteral("Cannot write \"%1\": %2").arg(file_, QString::fromUtf8(sqlite3_errmsg(db_))));
    }
    QString file_;
    sqlite3* db_ = nullptr;
};

QString Pick(TRandom& rnd, const char* const* list, int n) { return QString::fromUtf8(list[rnd.Below(n)]); }
template <std::size_t N>
QString Pick(TRandom& rnd, const char* const (&list)[N]) {
    return Pick(rnd, list, static_cast<int>(N));
}

// The photograph fields of a record: names (given as stored) and comments.
struct TPhotos {
    QString Names[5];
    QString Comments[5];
};

}  // namespace

TSampleRecords WriteSampleDatabase(const QString& file, int mappedHills) {
    TSampleRecords records;
    std::vector<TSamplePicture>& pictures = records.Pictures;
    TRandom rnd(19970415);
    auto photo = [&](const QString& name, TSamplePicture::TKind kind = TSamplePicture::pkPhoto) {
        pictures.push_back({QStringLiteral("fotos"), name.toLower(), kind, static_cast<std::uint64_t>(pictures.size() + 1)});
    };
    TWriter db(file);
    db.Exec("CREATE TABLE morros (cod_morro VARCHAR(10) PRIMARY KEY, nome VARCHAR(80), c_ocupacao MEMO, "
            "c_geologia MEMO, c_geomorfologia MEMO, foto1 VARCHAR(100), foto2 VARCHAR(100), foto3 VARCHAR(100), "
            "foto4 VARCHAR(100), foto5 VARCHAR(100), com1 MEMO, com2 MEMO, com3 MEMO, com4 MEMO, com5 MEMO, "
            "ortofoto1 VARCHAR(100), ortofoto2 VARCHAR(100), ortofoto3 VARCHAR(100), ortofoto4 VARCHAR(100), "
            "ofcom1 MEMO, ofcom2 MEMO, ofcom3 MEMO, ofcom4 MEMO)");
    db.Exec("CREATE TABLE setores (cod_morro VARCHAR(10), cod_setor VARCHAR(10), cod_morrosetor VARCHAR(10) PRIMARY KEY, "
            "referencia VARCHAR(120), diagnostico MEMO, proc_instabilizacao VARCHAR(200), observacao MEMO, "
            "grau_probabilidade VARCHAR(5), alt_intervencao MEMO, n_moradias INTEGER, foto1 VARCHAR(100), "
            "foto2 VARCHAR(100), foto3 VARCHAR(100), foto4 VARCHAR(100), foto5 VARCHAR(100), com1 MEMO, com2 MEMO, "
            "com3 MEMO, com4 MEMO, com5 MEMO)");
    db.Exec("CREATE TABLE intervencoes (ordem FLOAT, setor VARCHAR(10))");

    // Hills, in an order other than their codes' (the queries sort them).
    QStringList sectors;
    for (int k = 0; k < 25; ++k) {
        const int h = (k * 7) % 25;  // 0, 7, 14, ... visits every hill once
        const QString code = QStringLiteral("M%1").arg(h + 1, 2, 10, QLatin1Char('0'));
        const QString name = QString::fromUtf8(kHillNames[h]);
        TPhotos photos, orthos;
        if (h < kPhotographedHills) {
            // M01: five photographs; M02: three, named in upper case (the
            // files are lower case); M03: two.
            const int count = h == 0 ? 5 : h == 1 ? 3 : 2;
            for (int i = 0; i < count; ++i) {
                QString n = QStringLiteral("%1_%2.jpg").arg(code.toLower()).arg(i + 1);
                if (h == 1) n = n.toUpper();
                photos.Names[i] = n;
                photos.Comments[i] = QStringLiteral("Vista %1 do morro %2, tomada da encosta.").arg(i + 1).arg(name);
                photo(n);
            }
            // Orthophotos: M01 has a large one, a small one, an empty name
            // and another small one; M02 two and M03 one.
            const int orthoCount = h == 0 ? 4 : h == 1 ? 2 : 1;
            for (int i = 0; i < orthoCount; ++i) {
                if (h == 0 && i == 2) continue;
                const QString n = QStringLiteral("%1_orto%2.jpg").arg(code.toLower()).arg(i + 1);
                orthos.Names[i] = n;
                orthos.Comments[i] = QStringLiteral("Ortofoto %1 do morro %2 (voo de 2002).").arg(i + 1).arg(name);
                pictures.push_back({QStringLiteral("ortofotos"), n,
                                    h == 0 && i == 0 ? TSamplePicture::pkLargeOrthophoto : TSamplePicture::pkOrthophoto,
                                    static_cast<std::uint64_t>(1000 + pictures.size())});
            }
        }
        QVariantList row{code, name, Pick(rnd, kOccupation), Pick(rnd, kGeology), Pick(rnd, kGeomorphology)};
        for (const QString& n : photos.Names) row << (n.isNull() ? QStringLiteral("") : n);
        for (const QString& c : photos.Comments) row << c;
        for (int i = 0; i < 4; ++i) row << (orthos.Names[i].isNull() ? QStringLiteral("") : orthos.Names[i]);
        for (int i = 0; i < 4; ++i) row << orthos.Comments[i];
        db.Insert("morros", row);

        // Sectors: S01..S05 on the mapped hills (those of the map's sector
        // layer), else S01 and up to two more.
        const int sectorCount = h < mappedHills ? 5 : 1 + h % 3;
        for (int s = 0; s < sectorCount; ++s) {
            const QString sector = QStringLiteral("S%1").arg(s + 1, 2, 10, QLatin1Char('0'));
            const QString key = code + sector;
            sectors << key;
            TPhotos sp;
            if (h < kPhotographedHills) {
                const int count = h == 0 ? (s == 4 ? 2 : 5) : 2;
                for (int i = 0; i < count; ++i) {
                    sp.Names[i] = QStringLiteral("%1_%2.jpg").arg(key.toLower()).arg(i + 1);
                    sp.Comments[i] = QStringLiteral("Foto %1 do setor %2: situação da encosta.").arg(i + 1).arg(key);
                }
                if (h == 0 && s == 1) sp.Names[2] = QStringLiteral("");  // M01S02: no third photograph
                for (int i = 0; i < 5; ++i) {
                    if (sp.Names[i].isEmpty()) continue;
                    if (h == 0 && s == 2 && i == 1) continue;  // M01S03: the second is named but missing
                    photo(sp.Names[i], h == 0 && s == 3 && i == 3 ? TSamplePicture::pkDamaged  // M01S04: damaged
                                                                  : TSamplePicture::pkPhoto);
                }
            }
            TSectorFacts& facts = records.Sectors[key];
            facts.Grade = QStringLiteral("R%1").arg(1 + rnd.Below(4));
            const QString& grade = facts.Grade;
            row = {code, sector, key,
                   QStringLiteral("%1, nº %2 a %3").arg(Pick(rnd, kStreets)).arg(2 + 2 * rnd.Below(40)).arg(100 + 2 * rnd.Below(80)),
                   QStringLiteral("Encosta com trincas no terreno e nas moradias; surgências d'água após chuvas. "
                                  "Probabilidade de ocorrência %1.")
                       .arg(grade),
                   Pick(rnd, kProcesses),
                   QStringLiteral("Observação de campo: lixo lançado na encosta e fossas a céu aberto."),
                   grade, Pick(rnd, kWorks)};
            facts.Homes = 3 + rnd.Below(60);
            row << facts.Homes;
            for (const QString& n : sp.Names) row << (n.isNull() ? QStringLiteral("") : n);
            for (const QString& c : sp.Comments) row << c;
            db.Insert("setores", row);
        }
    }

    // Works priorities, out of order; one names a sector that does not
    // exist.
    sectors.sort();
    const int picks[] = {4, 0, 11, 7, 2, 9, 15, 5, 20, 13, 30, 26};
    for (int i = 0; i < int(std::size(picks)); ++i) {
        const double order = i == 6 ? 6.5 : double((i * 5) % 12 + 1);
        db.Insert("intervencoes", {order, sectors.at(picks[i] % sectors.size())});
    }
    db.Insert("intervencoes", {13.0, QStringLiteral("M26S01")});
    db.Commit();
    return records;
}

void WriteStreetAxes(const QString& layerFolder, const std::vector<TSampleStreet>& streets) {
    const QString name = QStringLiteral("eixo_logradouros.dbf");
    QFile::remove(JoinPath(layerFolder, name));
    TTable table;
    table.SetDatabaseName(layerFolder);
    table.SetTableName(name);
    table.SetTableType(ttDBase);
    table.SetTableLevel(4);
    table.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
    table.FieldDefs().Add(QStringLiteral("NOME_LOGRA"), ftString, 80);
    table.FieldDefs().Add(QStringLiteral("TIPO_LOGRA"), ftString, 3);
    table.FieldDefs().Add(QStringLiteral("LEN"), ftFloat);
    table.CreateTable();
    table.Open();
    for (const TSampleStreet& s : streets) {
        table.Append();
        table.Fields(0)->SetAsString(s.Id);
        table.Fields(1)->SetAsString(s.Name);
        table.Fields(2)->SetAsString(s.Kind);
        table.Fields(3)->SetAsString(QString::number(s.Length, 'f', 2));
        table.Post();
    }
    table.Close();
}
