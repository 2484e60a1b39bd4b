#pragma once
// Numbers written through a format of digit placeholders, as the print
// dialog's scale and coordinate-label formats give them: "0" a digit that
// is always written, "#" a digit written only when significant, "." the
// decimal point, "," anywhere in the integer part groups the thousands,
// "E+00" / "E-00" scientific notation, text in quotes and any other
// character written as it stands. Up to three sections separated by ";"
// serve positive numbers, negative numbers (written without their sign)
// and zero. An empty format writes the number in general notation.
#include <QChar>
#include <QString>

QString FormatNumber(const QString& format, double value, QChar decimal = u'.', QChar thousands = u',');
// The same with the user's decimal point and digit-group separator: the
// print dialog's previews and the printed page write numbers alike.
QString FormatUserNumber(const QString& format, double value);
