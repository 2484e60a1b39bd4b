#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool LoadQtTranslations() {
    static QTranslator* installed = nullptr;
    if (installed != nullptr) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qtbase_pt_BR", then "qtbase_pt".
    const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
    if (!translator->load(portuguese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
