#include "engine/exchange/ShownText.h"

#include <QList>

namespace {

QString CodePoint(char32_t c) {
    return QStringLiteral("U+%1").arg(QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, u'0'));
}

bool Visible(char32_t c) {
    return QChar::isPrint(c) && QChar::category(c) != QChar::Other_PrivateUse && QChar::category(c) != QChar::Other_Format;
}

}  // namespace

QString ShownCharacter(char32_t c) {
    if (!Visible(c)) return CodePoint(c);
    return QStringLiteral("\"%1\" (%2)").arg(QString::fromUcs4(&c, 1), CodePoint(c));
}

QString ShownText(const QString& text) {
    QString out;
    for (const uint u : text.toUcs4()) {
        const char32_t c = u;
        if (Visible(c)) out += QString::fromUcs4(&c, 1);
        else out += u'<' + CodePoint(c) + u'>';
    }
    return out;
}
