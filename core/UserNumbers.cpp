#include "core/UserNumbers.h"

#include <algorithm>
#include <cmath>

namespace {

QLocale Shown(TDigitGrouping grouping) {
    QLocale locale = UserLocale();
    if (grouping == dgPlain) locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QChar FirstOf(const QString& text, QChar fallback) { return text.isEmpty() ? fallback : text[0]; }

}  // namespace

QLocale UserLocaleFor(const QLocale& environment) {
    if (environment.language() == QLocale::C) return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return environment;
}

QLocale UserLocale() { return UserLocaleFor(QLocale()); }

QChar UserDecimalPoint() { return FirstOf(UserLocale().decimalPoint(), u'.'); }
QChar UserGroupSeparator() { return FirstOf(UserLocale().groupSeparator(), u','); }

QString UserNumber(double value, int digits, TDigitGrouping grouping) {
    return Shown(grouping).toString(value, 'g', std::clamp(digits, 1, 17));
}

QString UserFixed(double value, int decimals, TDigitGrouping grouping) {
    return Shown(grouping).toString(value, 'f', std::clamp(decimals, 0, 18));
}

QString UserExactNumber(double value) {
    const double a = std::abs(value);
    const bool plain = a == 0 || (a >= 1e-6 && a < 1e15);
    return Shown(dgPlain).toString(value, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

QString UserInteger(std::int64_t value, TDigitGrouping grouping) {
    return Shown(grouping).toString(static_cast<qlonglong>(value));
}

bool ReadUserNumber(QStringView text, double& value) {
    bool ok = false;
    const double v = UserLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool ReadUserInteger(QStringView text, std::int32_t& value) {
    bool ok = false;
    const int v = UserLocale().toInt(text.trimmed(), &ok);
    if (!ok) return false;
    value = v;
    return true;
}
