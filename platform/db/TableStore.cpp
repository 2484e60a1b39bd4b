#include "platform/db/TableStore.h"

#include <cstring>

#include <QByteArrayList>

QString DeclaredTypeOf(TFieldType type, int size) {
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
        return QStringLiteral("VARCHAR(%1)").arg(size > 0 ? size : 255);
    case ftSmallint: return QStringLiteral("SMALLINT");
    case ftWord: return QStringLiteral("WORD");
    case ftInteger: return QStringLiteral("INTEGER");
    case ftAutoInc: return QStringLiteral("AUTOINC");
    case ftLargeint: return QStringLiteral("BIGINT");
    case ftBoolean: return QStringLiteral("BOOLEAN");
    case ftFloat: return QStringLiteral("FLOAT");
    case ftCurrency: return QStringLiteral("CURRENCY");
    case ftBCD: case ftFMTBcd: return QStringLiteral("BCD");
    case ftDate: return QStringLiteral("DATE");
    case ftTime: return QStringLiteral("TIME");
    case ftDateTime: case ftTimeStamp: return QStringLiteral("DATETIME");
    case ftMemo: case ftFmtMemo: return QStringLiteral("MEMO");
    case ftGraphic: return QStringLiteral("GRAPHIC");
    case ftBytes: case ftVarBytes: return QStringLiteral("BYTES");
    case ftBlob: default: return QStringLiteral("BLOB");
    }
}

void FieldTypeOfDeclaredType(const char* decl, TFieldType& type, int& size) {
    size = 0;
    if (!decl || !*decl) {
        type = ftUnknown;
        return;
    }
    const QByteArray d = QByteArray(decl).toUpper();
    const int open = d.indexOf('(');
    if (open >= 0) size = d.mid(open + 1, d.indexOf(')') - open - 1).split(',').value(0).trimmed().toInt();
    auto has = [&](const char* s) { return d.contains(s); };
    if (has("MEMO") || has("CLOB")) type = ftMemo;
    else if (has("CHAR") || has("TEXT") || has("STRING")) {
        type = ftString;
        if (size <= 0) size = 255;
    } else if (has("SMALLINT")) type = ftSmallint;
    else if (has("WORD")) type = ftWord;
    else if (has("AUTOINC")) type = ftAutoInc;
    else if (has("BIGINT") || has("LARGEINT") || has("INT64")) type = ftLargeint;
    else if (has("INT")) type = ftInteger;
    else if (has("BOOL") || has("LOGICAL")) type = ftBoolean;
    else if (has("DATETIME") || has("TIMESTAMP")) type = ftDateTime;
    else if (has("DATE")) type = ftDate;
    else if (has("TIME")) type = ftTime;
    else if (has("CURRENCY") || has("MONEY")) type = ftCurrency;
    else if (has("BCD")) type = ftBCD;
    else if (has("FLOA") || has("REAL") || has("DOUB") || has("NUMERIC") || has("DECIMAL")) type = ftFloat;
    else if (has("GRAPHIC")) type = ftGraphic;
    else if (has("BYTES")) type = ftBytes;
    else if (has("BLOB")) type = ftBlob;
    else type = ftUnknown;
    if (type != ftString) size = 0;
}
