// Import of a shapefile into a new theme layer.
#include <algorithm>
#include <climits>

#include <QFile>
#include <QFileInfo>

#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/exchange/DbfFields.h"
#include "engine/exchange/Shapefile.h"
#include "engine/exchange/ShapefileFormat.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/BatchMove.h"
#include "platform/db/DbError.h"
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

// What the import changes on the layer before its files exist, to be put
// back when it fails.
struct TLayerBefore {
    std::int32_t ThemeLayerType;
    TFieldDefs Fields;
    bool Visible;
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

    // The ".dbf"'s fields, under their upper-cased names, numbers with the
    // width and decimals the file gives them; its own "ID" (the layer's key
    // has that name) gets a free name: "ID_1"...
    const std::vector<TDbfDescriptor> descriptors = ReadDbfDescriptors(dbfName);
    std::vector<TStoreColumn> columns{{QStringLiteral("ID"), ftString, 20, 0, false}};
    std::vector<TDbfDescriptor> numbers;
    for (std::size_t c = 0; c < dbf->Columns().size(); ++c) {
        TStoreColumn col = dbf->Columns()[c];
        col.Name = FreeName(col.Name.trimmed().toUpper(), columns, dbf->Columns());
        if (c < descriptors.size() && descriptors[c].IsNumber()) {
            numbers.push_back(descriptors[c]);
            numbers.back().Name = col.Name;
        }
        columns.push_back(col);
    }

    const TLayerBefore before{layer.ThemeLayerType(), table.FieldDefs(), layer.Visible()};
    bool filesAttempted = false;
    try {
        layer.SetVisible(false);
        layer.SetThemeLayerType(shapes.Kind);
        for (std::size_t k = 1; k < columns.size(); ++k) {
            const TStoreColumn& c = columns[k];
            table.AddField(c.Name, c.Type, c.Required, c.Type == ftString ? c.Size : 0);
        }
        filesAttempted = true;
        // The table is made now and the layer file once, when the objects
        // are posted. A layer that cannot start empty (it has made or read
        // its file before) opens its file, and so reports what is wrong.
        table.CreateTable();
        // The database layer makes every number 19 wide with 8 decimals.
        SetDbfNumberFields(table.GetBaseTable()->FileName(), numbers);
        layer.OpenEmpty();
        if (!layer.Active()) OpenReporting(layer);

        // The objects go in while the table is closed, so that they get their
        // Ids without a record each; the records are then written in one go,
        // as imported (no geometry field is filled in), and the table opened.
        table.Close();
        layer.Edit();
        if (layer.State() != lsEdit)
            throw EEngineError(QStringLiteral("A camada não pode ser editada: ") + layer.ResolvedFileName());
        std::vector<std::pair<const TVisualObject*, std::int64_t>> added;  // with its ".dbf" record
        added.reserve(shapes.Shapes.size());
        for (TShapeRecord& s : shapes.Shapes) {
            if (dbf->IsDeleted(s.Record)) continue;
            const TVisualObject* object = s.Object.get();
            if (layer.Add(std::move(s.Object)) < 0)
                throw EEngineError(QStringLiteral("Objeto não aceito pela camada: ") + layer.ResolvedFileName());
            added.emplace_back(object, s.Record);
        }
        layer.InternalPost();
        layer.EndEdit();

        const TTable* base = table.GetBaseTable();
        TTable target;
        target.SetDatabaseName(base->DatabaseName());
        target.SetTableName(base->TableName());
        target.SetTableType(base->TableType());
        std::vector<QString> names;
        for (const TStoreColumn& c : columns) names.push_back(c.Name);
        std::vector<TDbValue> row(columns.size());
        AppendRecords(target, names, added.size(), [&](std::size_t i) -> const std::vector<TDbValue>& {
            const auto& [object, record] = added[i];
            row[0].SetText(object->Id().toStdString());
            for (std::size_t k = 1; k < columns.size(); ++k) dbf->ReadValue(record, static_cast<int>(k - 1), row[k]);
            return row;
        });
        table.Open();
        layer.SetVisible(true);
    } catch (...) {
        Undo(layer, before, filesAttempted);
        throw;
    }
}
