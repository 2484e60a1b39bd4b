#include "engine/theme/Classification.h"

#include <QDateTime>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"

double ParseClassBound(const QString& text) {
    // The class editor writes "," (as the layer file does); "." is taken too.
    double v = 0;
    if (TryParseFloat(text, v, kFileDecimal) || TryParseFloat(text, v, kDotDecimal)) return v;
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

int ParseClassIntBound(const QString& text) { return ParseInt(text); }

namespace {

bool IsInteger(TFieldType t) { return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint; }
bool IsFloat(TFieldType t) { return t == ftFloat || t == ftCurrency || t == ftBCD; }

QDateTime ParseDateBound(const QString& text) {
    const QString t = text.trimmed();
    for (const char* f : {"dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy HH:mm", "dd/MM/yyyy", "HH:mm:ss", "HH:mm"}) {
        QDateTime d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (d.isValid()) return d;
    }
    QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
    if (iso.isValid()) return iso;
    throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(text));
}

bool Matches(const TThemeClass& c, TLegendType legend, TFieldType type, const QVariant& v,
             const std::optional<double>& normalized) {
    const bool range = legend == ltValueRange;
    if (type == ftString || type == ftFixedChar || type == ftWideString) {
        const QString s = v.toString();
        // Compared by character codes, case-sensitive.
        if (range) return QString::compare(c.FromValue(), s) <= 0 && QString::compare(s, c.ToValue()) <= 0;
        return s == c.FromValue();
    }
    if (type == ftBoolean) return v.toBool() == (c.FromValue().toUpper() == QStringLiteral("TRUE"));
    if (IsInteger(type) || IsFloat(type)) {
        if (range && normalized)
            return ParseClassBound(c.FromValue()) <= *normalized && *normalized <= ParseClassBound(c.ToValue());
        if (IsInteger(type)) {
            const qlonglong x = v.toLongLong();
            if (range) return ParseClassIntBound(c.FromValue()) <= x && x <= ParseClassIntBound(c.ToValue());
            return x == ParseClassIntBound(c.FromValue());
        }
        const double x = v.toDouble();
        if (range) return ParseClassBound(c.FromValue()) <= x && x <= ParseClassBound(c.ToValue());
        return x == ParseClassBound(c.FromValue());
    }
    if (type == ftDate || type == ftTime || type == ftDateTime) {
        const QDateTime x = v.toDateTime();
        if (range) return ParseDateBound(c.FromValue()) <= x && x <= ParseDateBound(c.ToValue());
        return x == ParseDateBound(c.FromValue());
    }
    return false;
}

}  // namespace

int MatchThemeClass(const TThemeClasses& classes, TLegendType legendType, TFieldType type, const QVariant& value,
                    std::optional<double> normalized) {
    // A Boolean field is always classified by unique value.
    if (type == ftBoolean) legendType = ltUniqueValue;
    for (int i = 0; i < classes.GetCount(); ++i)
        if (Matches(*classes.GetItem(i), legendType, type, value, normalized)) return i;
    return -1;
}
