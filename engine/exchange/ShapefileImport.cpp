// Import of a shapefile into a new theme layer.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/exchange/Shapefile.h"
#include "engine/exchange/ShapefileFormat.h"
#include "engine/exchange/ShownText.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/BatchMove.h"
#include "platform/db/CodePages.h"
#include "platform/db/DbError.h"
#include "platform/db/DbfStore.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "platform/db/VirtualTables.h"

namespace {

using namespace Shapefile;

// The file of that name, or the one that matches it without regard to case.
QString ExistingFile(const QString& path) {
    if (QFileInfo(path).isFile()) return path;
    const QString found = FindPathNoCase(path);
    return found.isEmpty() ? path : found;
}

// Progress in the event's integers: positions of files beyond 2 GB are
// scaled down together with the length.
void ReportBytes(TThemeLayer& layer, std::int64_t position, std::int64_t length) {
    if (!layer.OnProgress) return;
    while (length > INT_MAX) {
        position >>= 10;
        length >>= 10;
    }
    layer.OnProgress(layer, static_cast<int>(position), static_cast<int>(length));
}

void RequireFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        throw EFileError(QStringLiteral("Não foi possível abrir o arquivo \"%1\": ele não existe.").arg(fileName));
}

// The ".dbf", opened and its fields read (a header that promises more
// records than the file holds raises); its records are read when written
// into the layer's table.
std::shared_ptr<TTableStore> OpenDbf(const QString& fileName) {
    RequireFile(fileName);
    std::shared_ptr<TTableStore> store = Session().Stores().StoreFor(fileName);
    store->Refresh();
    return store;
}

// A column name not yet chosen (without regard to case): the name itself,
// else the name with "_1", "_2"... (within the ten characters of a dBase
// field name) that no column of the source has either.
QString FreeName(const QString& name, const std::vector<TStoreColumn>& chosen, const std::vector<TStoreColumn>& source) {
    auto in = [](const std::vector<TStoreColumn>& list, const QString& n) {
        return std::any_of(list.begin(), list.end(),
                           [&](const TStoreColumn& c) { return c.Name.trimmed().compare(n, Qt::CaseInsensitive) == 0; });
    };
    if (!in(chosen, name)) return name;
    for (int n = 1;; ++n) {
        const QString suffix = QStringLiteral("_%1").arg(n);
        const QString candidate = name.left(10 - suffix.size()) + suffix;
        if (!in(chosen, candidate) && !in(source, candidate)) return candidate;
    }
}

// ---------------------------------------------------------------- the new table

// The widest text field of a dBase table (its width's high byte kept in
// the decimals), and the widest number field without decimals that is
// read as integers.
constexpr int kMaxTextWidth = 0xFFFF;
constexpr int kIntegerWidth = 18;

// A number as a dBase field with that many decimals holds it, written as
// the database layer writes it (zero without a sign; with an exponent
// where no plain text holds it, when the field is read as reals): its
// length, whether it reads back as the number, and whether it has an
// exponent.
struct TNumberText {
    int Length = INT_MAX;
    bool Exact = false;
    bool Exponent = false;
};

TNumberText NumberText(double v, int decimals, bool real = true) {
    char buf[kDbfNumberRoom];
    const int n = DbfNumberText(v, decimals, real, buf);
    if (n < 0) return {};
    double back = 0;
    const auto b = std::from_chars(buf, buf + n, back);
    return {n, b.ec == std::errc() && back == v, std::memchr(buf, 'e', static_cast<std::size_t>(n)) != nullptr};
}

// The fewest decimals, from `from` on, with which a field read as reals
// holds a number exactly.
int DecimalsFor(double v, int from) {
    if (NumberText(v, from).Exact) return from;
    // No plain text with fewer decimals than the shortest text's is exact.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    const char* e = std::find(buf, r.ptr, 'e');
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), r.ptr, exponent);
    const auto digits = static_cast<int>(std::count_if(static_cast<const char*>(buf), e, [](char c) { return c >= '0' && c <= '9'; }));
    int d = std::max(from + 1, digits - 1 - exponent);
    // The shortest text of a number and its correctly rounded fixed text
    // may differ in the last place: the first exact one counts.
    while (!NumberText(v, d).Exact) ++d;
    return d;
}

// A column of the new table and what its values need.
struct TPlannedColumn {
    TStoreColumn Column;
    int Source = -1;  // column of the ".dbf"; -1: the layer's key
    // Numbers: the declared width and decimals hold every value exactly.
    bool Fits = true;
    int TextBytes = 0;
};

bool IsNumber(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftLargeint || t == ftWord || t == ftFloat || t == ftCurrency ||
           t == ftBCD || t == ftAutoInc;
}
bool IsText(TFieldType t) { return t == ftString || t == ftMemo || t == ftFixedChar || t == ftWideString; }

// Whether text read in the code page is written back as the same bytes:
// a single-byte code page that gives every byte a character of its own.
bool EveryByteKept(TDbCodePage cp) {
    if (cp == TDbCodePage::Utf8) return false;
    char high[128];
    for (int b = 0; b < 128; ++b) high[b] = static_cast<char>(0x80 + b);
    std::string text;
    DecodeText(cp, high, sizeof high, text);
    const QString chars = QString::fromStdString(text);
    return chars.size() == 128 && !chars.contains(QChar(0xFFFD));
}

// Refusals of the import name the user's table, the record and the field.
[[noreturn]] void Refuse(const QString& dbfName, std::int64_t record, const QString& field, const QString& what) {
    throw EDatabaseError(QStringLiteral("O campo %1, registro %2 de \"%3\", %4; nada foi importado.")
                             .arg(field)
                             .arg(record + 1)
                             .arg(dbfName, what));
}

// A number field made as wide, then with as many decimals, as its values
// need to be held exactly; a number that no plain text holds is written
// with an exponent, which the field is then wide enough to be read as a
// real for.
void Widen(TTableStore& dbf, const std::vector<std::int64_t>& records, TStoreColumn& c, int source) {
    int decimals = c.Width > 0 ? c.Decimals : 0, width = 0;
    bool any = false, exponent = false;
    TDbValue v;
    // A fixed text correctly rounded to more decimals than a number's own
    // need reads back as the number, but for a last place at a power of
    // two: the values are measured again until the decimals hold them all.
    for (bool settled = false; !settled;) {
        settled = true;
        width = 0;
        exponent = false;
        for (const std::int64_t record : records) {
            dbf.ReadValue(record, source, v);
            int n = 0;
            if (v.Kind == TDbValue::vInt) {
                n = static_cast<int>(std::to_string(v.I).size()) + (decimals > 0 ? decimals + 1 : 0);
            } else if (v.Kind == TDbValue::vFloat) {
                const TNumberText t = NumberText(v.D, decimals);
                if (!t.Exact) {
                    decimals = DecimalsFor(v.D, decimals);
                    settled = false;
                    continue;
                }
                n = t.Length;
                exponent = exponent || t.Exponent;
            } else {
                continue;
            }
            any = true;
            width = std::max(width, n);
        }
    }
    if (!any) return;  // no value: the type's default
    width = std::max({c.Width, width, decimals > 0 ? decimals + 2 : 0});
    if (exponent && decimals == 0) width = std::max(width, kIntegerWidth + 1);
    c.Width = width;
    c.Decimals = decimals;
}

// The fields of the new table: the ".dbf"'s, in its code page, each as
// wide and with as many decimals as declared where that holds every value
// of the records imported exactly, else widened (width, then decimals)
// until it does. Raises, naming the file, the record and the field, for a
// character the code page lacks.
void PlanColumns(TTableStore& dbf, const QString& dbfName, const std::vector<std::int64_t>& records,
                 std::vector<TPlannedColumn>& columns) {
    const auto cp = static_cast<TDbCodePage>(dbf.CodePage() > 0 ? dbf.CodePage() : 1252);
    const bool checkTexts = !EveryByteKept(cp);
    std::vector<TPlannedColumn*> checked;
    for (TPlannedColumn& c : columns) {
        if (c.Source < 0) continue;
        if (c.Column.Name.isEmpty())
            throw EDatabaseError(QStringLiteral("O campo %1 de \"%2\" não tem nome; nada foi importado.").arg(c.Source + 1).arg(dbfName));
        char32_t refused = 0;
        EncodeText(cp, c.Column.Name, -1, &refused);
        if (refused)
            throw EDatabaseError(QStringLiteral("O nome do campo %1 de \"%2\" tem o caractere %3, que a sua página de código não tem; "
                                                "nada foi importado.")
                                     .arg(c.Source + 1)
                                     .arg(dbfName, ShownCharacter(refused)));
        if (IsNumber(c.Column.Type)) {
            c.Fits = c.Column.Width > 0;  // a number without a declared width is widened
            if (c.Fits) checked.push_back(&c);
        } else if (checkTexts && IsText(c.Column.Type)) {
            checked.push_back(&c);
        }
    }
    TDbValue v;
    for (std::size_t k = 0; k < records.size() && !checked.empty(); ++k) {
        const std::int64_t record = records[k];
        for (TPlannedColumn* c : checked) {
            if (IsNumber(c->Column.Type) && !c->Fits) continue;
            dbf.ReadValue(record, c->Source, v);
            if (v.Kind == TDbValue::vInt) {
                c->Fits = c->Column.Decimals == 0 && static_cast<int>(std::to_string(v.I).size()) <= c->Column.Width;
            } else if (v.Kind == TDbValue::vFloat) {
                const TStoreColumn& f = c->Column;
                const TNumberText t = NumberText(v.D, f.Decimals, f.Decimals > 0 || f.Width > kIntegerWidth);
                c->Fits = t.Exact && t.Length <= f.Width;
            } else if (v.Kind == TDbValue::vText &&
                       std::any_of(v.S.begin(), v.S.end(), [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; })) {
                char32_t refused = 0;
                const int bytes = static_cast<int>(EncodeText(cp, QString::fromStdString(v.S), -1, &refused).size());
                if (refused)
                    Refuse(dbfName, record, c->Column.Name,
                           QStringLiteral("tem o caractere %1, que a página de código %2 da tabela não tem")
                               .arg(ShownCharacter(refused))
                               .arg(static_cast<int>(cp)));
                c->TextBytes = std::max(c->TextBytes, bytes);
            }
        }
    }
    for (TPlannedColumn& c : columns) {
        if (c.Source < 0) continue;
        if (IsNumber(c.Column.Type) && !c.Fits) Widen(dbf, records, c.Column, c.Source);
        if (c.Column.Type != ftMemo && c.TextBytes > c.Column.Size) {
            // Text that grew in decoding (bytes that are no UTF-8 read as
            // U+FFFD) keeps all of itself.
            if (c.TextBytes > kMaxTextWidth)
                throw EDatabaseError(QStringLiteral("O campo %1 de \"%2\" tem textos mais longos que os de um campo dBase; "
                                                    "nada foi importado.")
                                         .arg(c.Column.Name, dbfName));
            c.Column.Size = c.TextBytes;
        }
    }
}

// Runs a step that writes the new table: what the database layer refuses
// there is told as a failure to import the user's table.
template <typename F>
void CreatingFor(const QString& dbfName, F&& step) {
    try {
        step();
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(QStringLiteral("Não foi possível importar \"%1\": %2").arg(dbfName, e.Message()));
    }
}

// What the import changes on the layer before its files exist, to be put
// back when it fails.
struct TLayerBefore {
    std::int32_t ThemeLayerType;
    TFieldDefs Fields;
    bool Visible;
    int CodePage;
};

void Undo(TThemeLayer& layer, const TLayerBefore& before, bool filesAttempted) {
    try {
        if (layer.Active()) layer.Close();
        layer.InternalClose();  // also clears the file-created flag of a layer never opened
        if (layer.State() == lsEdit) layer.EndEdit();
    } catch (const std::exception&) {
    }
    if (filesAttempted) {
        // Neither existed before the import (it refuses them): both are its own.
        QFile::remove(layer.ResolvedFileName());
        try {
            layer.Table()->DeleteTable();
        } catch (const std::exception&) {
        }
    }
    layer.SetThemeLayerType(before.ThemeLayerType);
    layer.Table()->FieldDefs().Assign(before.Fields);
    layer.SetVisible(before.Visible);
    layer.Table()->GetBaseTable()->SetCodePage(before.CodePage);
}

// Opens the layer; a failure, which the layer reports to OnError (and
// still does), is raised.
void OpenReporting(TThemeLayer& layer) {
    struct TRestore {
        TThemeLayer& Layer;
        TLayer::TErrorEvent Saved;
        ~TRestore() { Layer.OnError = Saved; }
    } restore{layer, layer.OnError};
    QString failure = QStringLiteral("Não foi possível abrir a camada ") + layer.ResolvedFileName();
    layer.OnError = [&](TLayer& l, const QString& m) {
        failure = m;
        if (restore.Saved) restore.Saved(l, m);
    };
    layer.Open();
    if (!layer.Active()) throw EEngineError(failure);
}

}  // namespace

void ImportShapefile(TThemeLayer& layer, const QString& fileName) {
    TLayerTable& table = *layer.Table();
    if (layer.Active()) throw EEngineError(QStringLiteral("A camada já está aberta: ") + layer.ResolvedFileName());
    table.SetBaseFolder(ExtractFilePath(layer.ResolvedFileName()));
    if (QFileInfo::exists(layer.ResolvedFileName()))
        throw EFileError(QStringLiteral("O arquivo já existe: ") + layer.ResolvedFileName());
    TGISDataSet::RefuseExistingTable(table.EffectiveDatabase(), table.TableName());

    // Everything is read and checked before the layer changes.
    const QString shpName = ExistingFile(ChangeFileExt(fileName, QStringLiteral(".shp")));
    const QString dbfName = ExistingFile(ChangeFileExt(fileName, QStringLiteral(".dbf")));
    RequireFile(shpName);
    TShapeFile shapes;
    {
        TFileStream shp(shpName, TFileStream::fmOpenRead);
        shapes = ReadShapeFile(shpName, shp.Peek(),
                               [&](std::int64_t pos, std::int64_t length) { ReportBytes(layer, pos, length); });
    }
    const std::shared_ptr<TTableStore> dbf = OpenDbf(dbfName);
    const std::int64_t dbfSlots = dbf->SlotCount();
    if (dbfSlots != shapes.RecordCount)
        throw EFormatError(QStringLiteral("O shapefile \"%1\" tem %2 registros e a sua tabela \"%3\", %4: "
                                          "os atributos não correspondem às formas.")
                               .arg(shpName)
                               .arg(shapes.RecordCount)
                               .arg(dbfName)
                               .arg(dbfSlots));

    // The records imported: those of shapes that are not null, in the
    // order of the shapes, less the deleted ones.
    std::vector<std::int64_t> records;
    records.reserve(shapes.Shapes.size());
    for (const TShapeRecord& s : shapes.Shapes)
        if (!dbf->IsDeleted(s.Record)) records.push_back(s.Record);

    // The ".dbf"'s fields, under their upper-cased names, as wide as their
    // values need; its own "ID" (the layer's key has that name) gets a free
    // name: "ID_1"...
    std::vector<TStoreColumn> chosen{{QStringLiteral("ID"), ftString, 20, 0, false}};
    std::vector<TPlannedColumn> planned{{chosen.front()}};
    for (std::size_t c = 0; c < dbf->Columns().size(); ++c) {
        TPlannedColumn p{dbf->Columns()[c], static_cast<int>(c)};
        p.Column.Name = FreeName(p.Column.Name.trimmed().toUpper(), chosen, dbf->Columns());
        chosen.push_back(p.Column);
        planned.push_back(std::move(p));
    }
    PlanColumns(*dbf, dbfName, records, planned);

    const TLayerBefore before{layer.ThemeLayerType(), table.FieldDefs(), layer.Visible(), table.GetBaseTable()->CodePage()};
    bool filesAttempted = false;
    try {
        layer.SetVisible(false);
        layer.SetThemeLayerType(shapes.Kind);
        for (std::size_t k = 1; k < planned.size(); ++k) {
            const TStoreColumn& c = planned[k].Column;
            table.AddField(c.Name, c.Type, c.Required, IsText(c.Type) ? c.Size : 0, c.Width, c.Decimals);
        }
        filesAttempted = true;
        // The table is made now and the layer file once, when the objects
        // are posted. A layer that cannot start empty (it has made or read
        // its file before) opens its file, and so reports what is wrong.
        table.GetBaseTable()->SetCodePage(dbf->CodePage());
        CreatingFor(dbfName, [&] { table.CreateTable(); });
        layer.OpenEmpty();
        if (!layer.Active()) OpenReporting(layer);

        // The objects go in while the table is closed, so that they get their
        // Ids without a record each; the records are then written in one go,
        // as imported (no geometry field is filled in), and the table opened.
        table.Close();
        layer.Edit();
        if (layer.State() != lsEdit)
            throw EEngineError(QStringLiteral("A camada não pode ser editada: ") + layer.ResolvedFileName());
        std::vector<const TVisualObject*> added;  // with the ".dbf" record of the same place in `records`
        added.reserve(records.size());
        for (TShapeRecord& s : shapes.Shapes) {
            if (dbf->IsDeleted(s.Record)) continue;
            const TVisualObject* object = s.Object.get();
            if (layer.Add(std::move(s.Object)) < 0)
                throw EEngineError(QStringLiteral("Objeto não aceito pela camada: ") + layer.ResolvedFileName());
            added.push_back(object);
        }
        layer.InternalPost();
        layer.EndEdit();

        const TTable* base = table.GetBaseTable();
        TTable target;
        target.SetDatabaseName(base->DatabaseName());
        target.SetTableName(base->TableName());
        target.SetTableType(base->TableType());
        std::vector<QString> names;
        for (const TPlannedColumn& c : planned) names.push_back(c.Column.Name);
        std::vector<TDbValue> row(planned.size());
        CreatingFor(dbfName, [&] {
            AppendRecords(target, names, added.size(), [&](std::size_t i) -> const std::vector<TDbValue>& {
                row[0].SetText(added[i]->Id().toStdString());
                for (std::size_t k = 1; k < planned.size(); ++k) dbf->ReadValue(records[i], planned[k].Source, row[k]);
                return row;
            });
        });
        table.Open();
        layer.SetVisible(true);
    } catch (...) {
        Undo(layer, before, filesAttempted);
        throw;
    }
}
