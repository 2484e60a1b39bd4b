#pragma once
// Locale-free numbers. Every format names its own decimal separator: ","
// in layer and drawing files, "." in DXF and SQL. Nothing here reads a
// process-wide setting.
#include <cstdint>
#include <string>
#include <string_view>

#include <QString>
#include <QStringView>

constexpr QChar kFileDecimal = u',';  // layer, style and drawing files
constexpr QChar kDotDecimal = u'.';   // DXF, SQL, value lists

// The shortest text that reads back to exactly the same double, with the
// given decimal separator ("0,1", "1E-300", "-2,5"). NaN and infinities are
// written "NAN", "INF", "-INF".
QString FormatFloat(double value, QChar decimal = kFileDecimal);

// Reads a decimal number written with the given separator; blanks around
// it are allowed. Raises EConvertError ("'x' is not a valid floating point
// value") otherwise.
double ParseFloat(QStringView text, QChar decimal = kFileDecimal);
bool TryParseFloat(QStringView text, double& value, QChar decimal = kFileDecimal);

// Reads a decimal integer (optional sign, blanks around it). Raises
// EConvertError ("'x' is not a valid integer value").
int ParseInt(QStringView text);
std::int64_t ParseInt64(QStringView text);
bool TryParseInt(QStringView text, int& value);

// The same over 8-bit text as read from a file (ASCII digits), without a
// conversion to QString: blanks around the number are allowed.
bool TryParseFloat(std::string_view text, double& value, char decimal);
bool TryParseInt(std::string_view text, int& value);
// Appends FormatFloat's text as bytes.
void AppendFloat(std::string& out, double value, char decimal);
