#include "app/plan/RichText.h"

#include <QDir>
#include <QFileInfo>
#include <QTextEdit>

#include "app/dialogs/DataFolder.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "platform/rtf/RtfReader.h"

QString LoadRichText(QTextEdit& edit, const QString& folder, const QString& name) {
    const QString file = DataFile(folder, name);
    const QString shown = QDir::toNativeSeparators(file.isEmpty() ? JoinPath(folder, name) : file);
    edit.clear();
    if (file.isEmpty() || !QFileInfo(file).isFile()) return QStringLiteral("Arquivo não encontrado: \"%1\"").arg(shown);
    try {
        ReadRtfFile(file, *edit.document());
        return QString();
    } catch (const ERtfError&) {
        // The document keeps what was read before the fault.
        if (!edit.document()->isEmpty())
            return QStringLiteral("O arquivo \"%1\" está danificado: é mostrada a parte que pôde ser lida.").arg(shown);
        return QStringLiteral("O arquivo \"%1\" está danificado e não pôde ser lido.").arg(shown);
    } catch (const EEngineError&) {
        return QStringLiteral("Não foi possível ler o arquivo \"%1\".").arg(shown);
    }
}
