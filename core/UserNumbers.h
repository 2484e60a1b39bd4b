#pragma once
// Numbers shown to people or typed by them: the scale box, the status
// panels, the identify panel, the record windows, the dialogs, the printed
// page and the about box. They all go through here and through one locale:
// the user's, or Brazilian Portuguese where the environment names none
// ("C", "C.UTF-8", "POSIX"), since every text of the program is Portuguese.
// Files never use these: they keep the locale-free helpers of Numbers.h.
#include <cstdint>

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringView>

// The locale of every shown and typed number: the default locale (the
// environment's, unless the program set one) when it names a language,
// else Brazilian Portuguese.
QLocale UserLocale();
// The same rule applied to a given environment's locale.
QLocale UserLocaleFor(const QLocale& environment);

// The user's decimal point and digit-group separator.
QChar UserDecimalPoint();
QChar UserGroupSeparator();

enum TDigitGrouping { dgGrouped, dgPlain };

// General notation with up to `digits` significant digits ("8.564.227,6567745").
QString UserNumber(double value, int digits = 15, TDigitGrouping grouping = dgGrouped);
// Fixed notation with the given decimals, 0 to 18 ("1.274,75").
QString UserFixed(double value, int decimals, TDigitGrouping grouping = dgGrouped);
// Every digit that tells the value, so that reading the text gives back the
// same double, without group separators; an exponent only for very large or
// very small values ("552123,456789").
QString UserExactNumber(double value);
QString UserInteger(std::int64_t value, TDigitGrouping grouping = dgGrouped);

// Reads a number as the user writes it: the user's decimal point, digit
// groups where they belong, blanks around it ("5.000" is five thousand in
// Brazilian Portuguese). False for anything else, and for infinities and
// NaN; the value is then left alone.
bool ReadUserNumber(QStringView text, double& value);
bool ReadUserInteger(QStringView text, std::int32_t& value);
