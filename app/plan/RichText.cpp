#include "app/plan/RichText.h"

#include <QFileInfo>
#include <QTextEdit>

#include "app/dialogs/DataFolder.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "platform/rtf/RtfReader.h"

QString LoadRichText(QTextEdit& edit, const QString& folder, const QString& name) {
    const QString file = DataFile(folder, name);
    QString error;
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        error = QStringLiteral("Arquivo não encontrado: \"%1\"").arg(file.isEmpty() ? JoinPath(folder, name) : file);
    } else {
        try {
            ReadRtfFile(file, *edit.document());
        } catch (const EEngineError& e) {
            error = e.Message();
        }
    }
    if (!error.isEmpty()) edit.clear();
    return error;
}
