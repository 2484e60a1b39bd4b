#pragma once
// Texts of the user's files as the exchange's messages show them: a
// character that cannot be seen (a control character, a lone surrogate,
// one of no script) by its code point.
#include <QString>

// "<c>" (U+XXXX), or U+XXXX alone for a character that cannot be seen.
QString ShownCharacter(char32_t c);
// The text with each character that cannot be seen as <U+XXXX>.
QString ShownText(const QString& text);
