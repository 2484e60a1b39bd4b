#include "app/QtTranslations.h"

#include <cstring>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Texts that Qt asks for under a context its Portuguese file does not
// know (the file predates the context's rename).
struct TQtText {
    const char* Context;
    const char* Source;
    const char* Portuguese;
};
constexpr TQtText kMissing[] = {
    {"QAbstractFileIconProvider", "Folder", "Pasta"},
    {"QAbstractFileIconProvider", "File Folder", "Pasta de Arquivos"},
    {"QAbstractFileIconProvider", "Drive", "Unidade"},
    {"QAbstractFileIconProvider", "File", "Arquivo"},
    {"QAbstractFileIconProvider", "Shortcut", "Atalho"},
    {"QAbstractFileIconProvider", "Alias", "Atalho"},
    {"QAbstractFileIconProvider", "Unknown", "Desconhecido"},
};

QString MissingQtText(const char* context, const char* source) {
    if (!context || !source) return QString();
    for (const TQtText& t : kMissing)
        if (std::strcmp(t.Context, context) == 0 && std::strcmp(t.Source, source) == 0)
            return QString::fromUtf8(t.Portuguese);
    return QString();
}

class TMissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char*, int) const override {
        return MissingQtText(context, source);
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

bool LoadQtTranslations() {
    static bool done = false, loaded = false;
    if (done) return loaded;
    done = true;
    // Ours first, so that Qt's file, installed after it, is asked first.
    QCoreApplication::installTranslator(new TMissingQtTexts(QCoreApplication::instance()));
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qtbase_pt_BR", then "qtbase_pt".
    const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
    loaded = translator->load(portuguese, QStringLiteral("qtbase"), QStringLiteral("_"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) QCoreApplication::installTranslator(translator);
    else delete translator;
    return loaded;
}
