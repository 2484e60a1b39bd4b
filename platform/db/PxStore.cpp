#include "platform/db/PxStore.h"

#include "platform/db/DbError.h"

std::unique_ptr<TTableStore> OpenPxStore(const QString& fileName) {
    throw EDatabaseError(QStringLiteral("Tabelas do Paradox não são suportadas: ") + fileName);
}

void CreatePxTable(const QString& fileName, const std::vector<TStoreColumn>&, int) {
    throw EDatabaseError(QStringLiteral("Tabelas do Paradox não são suportadas: ") + fileName);
}
