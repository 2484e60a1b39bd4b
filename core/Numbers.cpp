#include "core/Numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "core/Errors.h"

namespace {

// Copies text to ASCII with "." as the separator; false when it holds a
// character that cannot belong to a number, or the other separator.
bool ToAscii(QStringView text, QChar decimal, std::string& out) {
    const QStringView t = text.trimmed();
    out.clear();
    out.reserve(static_cast<std::size_t>(t.size()));
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (c == decimal) {
            out.push_back('.');
        } else if ((u >= '0' && u <= '9') || u == '+' || u == '-' || u == 'e' || u == 'E') {
            out.push_back(static_cast<char>(u));
        } else {
            return false;
        }
    }
    return !out.empty();
}

}  // namespace

QString FormatFloat(double value, QChar decimal) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    QString out;
    out.reserve(static_cast<qsizetype>(res.ptr - buf));
    for (const char* p = buf; p != res.ptr; ++p) {
        if (*p == '.') out.append(decimal);
        else if (*p == 'e') out.append(u'E');
        else out.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(*p))));
    }
    return out;
}

bool TryParseFloat(QStringView text, double& value, QChar decimal) {
    const QStringView t = text.trimmed();
    if (t == u"NAN") { value = std::numeric_limits<double>::quiet_NaN(); return true; }
    if (t == u"INF") { value = std::numeric_limits<double>::infinity(); return true; }
    if (t == u"-INF") { value = -std::numeric_limits<double>::infinity(); return true; }
    std::string s;
    if (!ToAscii(t, decimal, s)) return false;
    const char* first = s.data();
    if (*first == '+') ++first;
    double v = 0;
    const auto res = std::from_chars(first, s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

double ParseFloat(QStringView text, QChar decimal) {
    double v = 0;
    if (!TryParseFloat(text, v, decimal))
        throw EConvertError(QStringLiteral("'%1' não é um número real válido.").arg(text.toString()));
    return v;
}

namespace {

template <typename T>
bool TryParseInteger(QStringView text, T& value) {
    const QStringView t = text.trimmed();
    std::string s;
    s.reserve(static_cast<std::size_t>(t.size()));
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if ((u >= '0' && u <= '9') || u == '-' || u == '+') s.push_back(static_cast<char>(u));
        else return false;
    }
    if (s.empty()) return false;
    const char* first = s.data();
    if (*first == '+') ++first;
    T v{};
    const auto res = std::from_chars(first, s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

}  // namespace

bool TryParseInt(QStringView text, int& value) { return TryParseInteger(text, value); }

int ParseInt(QStringView text) {
    int v = 0;
    if (!TryParseInteger(text, v))
        throw EConvertError(QStringLiteral("'%1' não é um número inteiro válido.").arg(text.toString()));
    return v;
}

std::int64_t ParseInt64(QStringView text) {
    std::int64_t v = 0;
    if (!TryParseInteger(text, v))
        throw EConvertError(QStringLiteral("'%1' não é um número inteiro válido.").arg(text.toString()));
    return v;
}

namespace {

std::string_view TrimBlanks(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
    return t;
}

}  // namespace

bool TryParseFloat(std::string_view text, double& value, char decimal) {
    const std::string_view t = TrimBlanks(text);
    if (t.empty() || t.size() > 400) return false;
    // Plain decimal numbers with "." go straight to from_chars (which would
    // also take "inf" and "nan": only a digit or "." may follow the sign).
    const std::size_t lead = t[0] == '-' ? 1 : 0;
    if (decimal == '.' && t.size() > lead && ((t[lead] >= '0' && t[lead] <= '9') || t[lead] == '.')) {
        double v = 0;
        const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
        if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return false;
        value = v;
        return true;
    }
    if (t == "NAN") { value = std::numeric_limits<double>::quiet_NaN(); return true; }
    if (t == "INF") { value = std::numeric_limits<double>::infinity(); return true; }
    if (t == "-INF") { value = -std::numeric_limits<double>::infinity(); return true; }
    // from_chars knows only "." and no leading "+": copy when either differs.
    char buf[401];
    std::size_t n = 0;
    for (char c : t) {
        if (c == decimal) c = '.';
        else if (c == '.' || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')) return false;
        buf[n++] = c;
    }
    const char* first = buf;
    if (*first == '+') ++first;
    double v = 0;
    const auto res = std::from_chars(first, buf + n, v);
    if (res.ec != std::errc() || res.ptr != buf + n) return false;
    value = v;
    return true;
}

bool TryParseInt(std::string_view text, int& value) {
    const std::string_view t = TrimBlanks(text);
    if (t.empty()) return false;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') ++first;
    int v = 0;
    const auto res = std::from_chars(first, last, v);
    if (res.ec != std::errc() || res.ptr != last) return false;
    value = v;
    return true;
}

void AppendFloat(std::string& out, double value, char decimal) {
    if (std::isnan(value)) { out += "NAN"; return; }
    if (std::isinf(value)) { out += value < 0 ? "-INF" : "INF"; return; }
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    for (const char* p = buf; p != res.ptr; ++p) {
        if (*p == '.') out.push_back(decimal);
        else if (*p == 'e') out.push_back('E');
        else out.push_back(*p);
    }
}
