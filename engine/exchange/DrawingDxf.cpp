#include "engine/exchange/DrawingDxf.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "core/Errors.h"
#include "core/Paths.h"
#include "engine/exchange/DxfWriter.h"
#include "engine/layers/Layers.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"

namespace {

// The file a new layer gets: proposed, offered to the view, then checked.
// The layer's names are set; its file and table must not exist yet, nor
// be taken by another layer of the same import.
void NameNewLayer(const TDxfViewHooks& hooks, TLayer& layer, QString path, QSet<QString>& taken,
                  bool withTable) {
    if (hooks.GetLayerFileName) hooks.GetLayerFileName(path);
    if (path.trimmed().isEmpty()) throw EAbort();
    layer.SetDatabaseName(ExtractFilePath(path));
    layer.SetLayerName(ExtractFileName(path));
    const QString file = layer.ResolvedFileName();
    const QString table = ChangeFileExt(file, QStringLiteral(".dbf"));
    for (const QString& f : withTable ? QStringList{file, table} : QStringList{file}) {
        const QString key = QFileInfo(f).absoluteFilePath();
        if (!FindPathNoCase(f).isEmpty() || taken.contains(key))
            throw EFileError(QStringLiteral("O arquivo \"%1\" já existe.").arg(f));
        taken.insert(key);
    }
}

// Frees the layers made by a failed import, then removes the files made
// for them: every name in `taken` was checked free (in any letter case)
// before the import.
template <typename L>
void Discard(std::vector<std::unique_ptr<L>>& layers, const QSet<QString>& taken) {
    layers.clear();
    // The database may have made a table under another letter case.
    for (const QString& f : taken)
        if (const QString made = FindPathNoCase(f); !made.isEmpty()) QFile::remove(made);
}

// The entities passed over, in one message after the import.
void Report(const TDxfViewHooks& hooks, const QString& fileName, const TDxfHandler& import) {
    const QString message = DxfPassedOverMessage(fileName, import);
    if (!message.isEmpty() && hooks.Message) hooks.Message(message);
}

}  // namespace

QString DxfSafeFileName(const QString& layerName) {
    QString name = layerName;
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control || QStringView(u"/\\:*?\"<>|").contains(c)) c = u'_';
    while (name.contains(QStringLiteral(".."))) name.replace(QStringLiteral(".."), QStringLiteral("_"));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("_") : name;
}

// ---------------------------------------------------------------- plain view

void ImportDrawingDXF(const TDxfViewHooks& hooks, const QString& fileName, const QStringList& layerNames) {
    TLayers& layers = *hooks.Layers;
    const TThemeClass fresh;  // the defaults of a new layer
    TDxfPlainImport import(
        layerNames,
        [&](const QString& name) -> const TThemeClass* {
            TLayer* l = layers.FindLayer(name);
            return l != nullptr ? l->Defaults() : &fresh;
        },
        false, hooks.Progress);
    {
        TDxfPairReader reader(fileName);
        ReadDxf(reader, import);
    }
    import.RefuseUnstorable(fileName);

    // Existing layers are edited first, so that one that refuses stops the
    // import before any file is made.
    std::vector<TDxfGroup>& groups = import.Groups();
    std::vector<TLayer*> target(groups.size(), nullptr);
    std::vector<TLayer*> entered;
    auto leave = [&] {
        for (TLayer* l : entered) {
            l->InternalCancel();
            l->EndEdit();
        }
    };
    for (std::size_t i = 0; i < groups.size(); ++i) {
        TLayer* l = layers.FindLayer(groups[i].Layer);
        if (l == nullptr) continue;
        target[i] = l;
        if (l->State() == lsEdit || std::find(entered.begin(), entered.end(), l) != entered.end()) continue;
        l->Edit();
        if (l->State() != lsEdit) {
            leave();
            DxfRefused(*l);
        }
        entered.push_back(l);
    }

    std::vector<std::unique_ptr<TLayer>> made;
    QSet<QString> taken;
    try {
        const QString folder = ExtractFilePath(fileName);
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (target[i] != nullptr) continue;
            auto l = std::make_unique<TLayer>(hooks.Host);
            l->SetCaption(groups[i].Layer);
            NameNewLayer(hooks, *l, JoinPath(folder, DxfSafeFileName(groups[i].Layer) + QStringLiteral(".cam")), taken,
                         false);
            target[i] = l.get();
            made.push_back(std::move(l));
        }
        // Their files are written once, by the post below.
        for (auto& l : made) l->OpenEmpty();
        for (std::size_t i = 0; i < groups.size(); ++i) DxfAddToLayer(*target[i], groups[i].Objects);
    } catch (...) {
        leave();
        Discard(made, taken);
        throw;
    }
    for (TLayer* l : entered) l->EndEdit();
    for (auto& l : made) layers.Add(std::move(l));
    Report(hooks, fileName, import);
}

// ---------------------------------------------------------------- coordinate-aware view

std::array<TThemeLayer*, 4> ImportGISDrawingDXF(const TDxfViewHooks& hooks, const QString& fileName,
                                                const QStringList& layerNames) {
    static const char16_t* const kSuffix[4] = {u"_PT", u"_PL", u"_PG", u"_T"};
    std::minstd_rand random = DxfColorGenerator();
    std::vector<std::unique_ptr<TThemeLayer>> made;
    std::array<TThemeLayer*, 4> result{};
    for (int kind = 0; kind < 4; ++kind) {
        auto l = std::make_unique<TThemeLayer>(hooks.Host);
        l->SetThemeLayerType(kind);
        TThemeClass& d = *l->Defaults();
        d.BeginUpdate();
        if (kind == dtkAreas) {
            d.SetLineColor(0);
            d.SetLineStyle(lsSolid);
            d.SetFillColor(DxfRandomColor(random));
            d.SetFillStyle(fsSolid);
        } else {
            d.SetLineColor(DxfRandomColor(random));
            if (kind == dtkLines) d.SetLineStyle(lsSolid);
            else d.SetPointStyle(psPoint);
        }
        d.EndUpdate();
        result[static_cast<std::size_t>(kind)] = l.get();
        made.push_back(std::move(l));
    }
    TDxfThemeImport import(layerNames, result, random, hooks.Progress);
    {
        TDxfPairReader reader(fileName);
        ReadDxf(reader, import);
    }
    import.RefuseUnstorable(fileName);
    QSet<QString> taken;
    try {
        const QString folder = ExtractFilePath(fileName);
        const QString base = DxfBaseName(fileName);
        for (std::size_t i = 0; i < made.size(); ++i) {
            TThemeLayer& l = *made[i];
            NameNewLayer(hooks, l, JoinPath(folder, base + QString::fromUtf16(kSuffix[i]) + QStringLiteral(".cam")),
                         taken, true);
            l.SetCaption(l.LayerName());
        }
        for (std::size_t i = 0; i < made.size(); ++i) DxfCommitTheme(*made[i], import.Targets()[i]);
    } catch (...) {
        Discard(made, taken);
        throw;
    }
    for (auto& l : made) hooks.Layers->Add(std::unique_ptr<TLayer>(std::move(l)));
    Report(hooks, fileName, import);
    return result;
}

// ---------------------------------------------------------------- export

void ExportDrawingDXF(const TLayers& layers, const QString& fileName, const TDxfProgress& progress) {
    std::vector<const TLayer*> list;
    for (int i = 0; i < layers.GetCount(); ++i) list.push_back(layers.GetItem(i));
    WriteDxfFile(fileName, list, nullptr, progress);
}
