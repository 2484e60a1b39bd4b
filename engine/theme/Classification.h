#pragma once
// The test of one attribute value against a layer's theme classes: by range
// (FromValue <= v <= ToValue) or by unique value (v = FromValue), chosen by
// the field's data type. The theme layer feeds it the classified (and
// normalized) value of each record.
#include <optional>

#include <QString>
#include <QVariant>

#include "core/Codes.h"

class TThemeClasses;

// A class bound as a number: "," and "." are both taken as the decimal
// separator, whatever the separator in force; surrounding blanks ignored.
// Raises EConvertError for text that is not a number.
double ParseClassBound(const QString& text);
// The same for integer bounds ("7"); "7.5" raises EConvertError.
int ParseClassIntBound(const QString& text);

// The index of the first class, in list order, that the value matches;
// -1 when none does (the object then keeps the layer's default class) or
// the list is empty. value: the field's value; normalized: the value
// divided by the normalization field or turned into a percentage, when
// the layer normalizes (range tests of numeric fields then use it). Types
// other than strings, integers, floats, Booleans, dates and times match
// nothing. A bound that does not convert raises EConvertError.
int MatchThemeClass(const TThemeClasses& classes, TLegendType legendType, TFieldType type, const QVariant& value,
                    std::optional<double> normalized = std::nullopt);
