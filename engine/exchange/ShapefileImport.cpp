// Import of a shapefile into a new theme layer.
#include <climits>

#include <QFile>
#include <QFileInfo>

#include "engine/core/Errors.h"
#include "engine/core/Paths.h"
#include "engine/core/Stream.h"
#include "engine/exchange/Shapefile.h"
#include "engine/exchange/ShapefileFormat.h"
#include "engine/exchange/ShapefileRecords.h"
#include "engine/theme/ThemeLayer.h"
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

// The records of the ".dbf", by record number.
struct TDbfRecords {
    std::vector<TStoreColumn> Columns;
    std::vector<char> Deleted;
    std::vector<std::vector<TDbValue>> Values;
};

TDbfRecords ReadDbf(const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        throw EFileError(QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(fileName));
    const std::shared_ptr<TTableStore> store = Session().Stores().StoreFor(fileName);
    store->Refresh();
    TDbfRecords out;
    out.Columns = store->Columns();
    const std::int64_t count = store->SlotCount();
    out.Deleted.resize(static_cast<std::size_t>(count));
    out.Values.resize(static_cast<std::size_t>(count));
    for (std::int64_t slot = 0; slot < count; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        out.Deleted[s] = store->IsDeleted(slot);
        out.Values[s].resize(out.Columns.size());
        for (std::size_t c = 0; c < out.Columns.size(); ++c) store->ReadValue(slot, static_cast<int>(c), out.Values[s][c]);
    }
    return out;
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
    TShapeFile shapes;
    {
        TFileStream shp(shpName, TFileStream::fmOpenRead);
        shapes = ReadShapeFile(shpName, shp.Peek(),
                               [&](std::int64_t pos, std::int64_t length) { ReportBytes(layer, pos, length); });
    }
    TDbfRecords dbf = ReadDbf(dbfName);

    // The ".dbf"'s fields, under their upper-cased names; its own "ID" and
    // a repeated name are left out.
    TRecordRows records;
    records.Columns.push_back({QStringLiteral("ID"), ftString, 20, 0, false});
    std::vector<int> taken;  // source columns, in the order of records.Columns[1..]
    for (std::size_t c = 0; c < dbf.Columns.size(); ++c) {
        TStoreColumn col = dbf.Columns[c];
        col.Name = col.Name.trimmed().toUpper();
        bool repeated = false;
        for (const TStoreColumn& k : records.Columns) repeated = repeated || k.Name == col.Name;
        if (repeated) continue;
        records.Columns.push_back(col);
        taken.push_back(static_cast<int>(c));
    }

    const TLayerBefore before{layer.ThemeLayerType(), table.FieldDefs(), layer.Visible()};
    bool filesAttempted = false;
    try {
        layer.SetVisible(false);
        layer.SetThemeLayerType(shapes.Kind);
        for (std::size_t k = 1; k < records.Columns.size(); ++k) {
            const TStoreColumn& c = records.Columns[k];
            table.AddField(c.Name, c.Type, c.Required, c.Type == ftString ? c.Size : 0);
        }
        filesAttempted = true;
        layer.CreateLayerFile();
        OpenReporting(layer);

        // The objects go in while the table is closed, so that they get their
        // Ids without a record each; the records are then written in one go,
        // as imported (no geometry field is filled in), and the table opened.
        table.Close();
        layer.Edit();
        if (layer.State() != lsEdit)
            throw EEngineError(QStringLiteral("A camada não pode ser editada: ") + layer.ResolvedFileName());
        records.Rows.reserve(shapes.Shapes.size());
        for (TShapeRecord& s : shapes.Shapes) {
            const auto at = static_cast<std::size_t>(s.Record);
            if (at < dbf.Deleted.size() && dbf.Deleted[at]) continue;
            TVisualObject* object = s.Object.get();
            if (layer.Add(std::move(s.Object)) < 0)
                throw EEngineError(QStringLiteral("Objeto não aceito pela camada: ") + layer.ResolvedFileName());
            std::vector<TDbValue>& row = records.Rows.emplace_back(records.Columns.size());
            row[0].SetText(object->Id().toStdString());
            if (at < dbf.Values.size())
                for (std::size_t k = 0; k < taken.size(); ++k)
                    row[k + 1] = std::move(dbf.Values[at][static_cast<std::size_t>(taken[k])]);
        }
        layer.InternalPost();
        layer.EndEdit();

        const TTable* base = table.GetBaseTable();
        TTable target;
        target.SetDatabaseName(base->DatabaseName());
        target.SetTableName(base->TableName());
        target.SetTableType(base->TableType());
        AppendRows(target, records);
        table.Open();
        layer.SetVisible(true);
    } catch (...) {
        Undo(layer, before, filesAttempted);
        throw;
    }
}
