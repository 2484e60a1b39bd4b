#include "app/print/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/UserNumbers.h"

namespace {

// More decimals than a double holds are never written.
constexpr int kMaxDecimals = 20;

struct TToken {
    enum TKind { Digit, Point, Literal, Exponent } Kind;
    QChar Char;     // '0' or '#' for digits; 'E' or 'e' for the exponent
    QString Text;   // literal text
    bool Fraction = false;
    bool AlwaysSign = false;  // "E+": the sign is written also when positive
    int ExponentDigits = 0;
};

// Splits a format at the semicolons that stand outside quotes.
std::vector<QString> Sections(const QString& format) {
    std::vector<QString> out(1);
    QChar quote;
    for (QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

struct TSection {
    std::vector<TToken> Tokens;
    int IntPlaces = 0, IntMin = 0;  // placeholders before the point; those from the first "0" on
    int FracPlaces = 0, FracMin = 0;  // placeholders after the point; up to the last "0"
    bool Grouping = false;
    bool Scientific = false;
};

TSection Parse(const QString& s) {
    TSection out;
    bool fraction = false;
    bool seenZero = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = s.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? s.size() : end;
            out.Tokens.push_back({TToken::Literal, {}, s.mid(i + 1, stop - i - 1)});
            i = stop;
        } else if ((c == u'0' || c == u'#') && !out.Scientific) {
            TToken t{TToken::Digit, c, {}};
            t.Fraction = fraction;
            out.Tokens.push_back(t);
            if (fraction) {
                ++out.FracPlaces;
                if (c == u'0') out.FracMin = out.FracPlaces;
            } else {
                ++out.IntPlaces;
                if (c == u'0') seenZero = true;
                if (seenZero) ++out.IntMin;
            }
        } else if (c == u'.' && !fraction && !out.Scientific) {
            fraction = true;
            out.Tokens.push_back({TToken::Point, c, {}});
        } else if (c == u',' && !fraction) {
            out.Grouping = true;
        } else if ((c == u'E' || c == u'e') && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-') &&
                   !out.Scientific) {
            TToken t{TToken::Exponent, c, {}};
            t.AlwaysSign = s[i + 1] == u'+';
            i += 2;
            while (i < s.size() && s[i] == u'0' && t.ExponentDigits < 4) {
                ++t.ExponentDigits;
                ++i;
            }
            --i;
            // Anything after the exponent is written as it stands.
            out.Scientific = true;
            out.Tokens.push_back(t);
        } else {
            out.Tokens.push_back({TToken::Literal, {}, QString(c)});
        }
    }
    out.FracPlaces = std::min(out.FracPlaces, kMaxDecimals);
    out.FracMin = std::min(out.FracMin, out.FracPlaces);
    return out;
}

QString Group(const QString& digits, QChar thousands) {
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += thousands;
        out += digits[i];
    }
    return out;
}

// The digits of |value| rounded to the section's decimals: integer part
// and fraction, the fraction cut to its minimum where it ends in zeros.
void Digits(double value, const TSection& sec, QString& intDigits, QString& fracDigits) {
    const QString text = QString::number(value, 'f', sec.FracPlaces);
    const qsizetype dot = text.indexOf(u'.');
    intDigits = dot < 0 ? text : text.left(dot);
    fracDigits = dot < 0 ? QString() : text.mid(dot + 1);
    while (fracDigits.size() > sec.FracMin && fracDigits.endsWith(u'0')) fracDigits.chop(1);
    if (intDigits == QStringLiteral("0") && sec.IntMin == 0) intDigits.clear();
    while (intDigits.size() < sec.IntMin) intDigits.prepend(u'0');
}

QString Apply(const TSection& sec, double value, QChar decimal, QChar thousands) {
    QString intDigits, fracDigits;
    int exponent = 0;
    if (sec.Scientific) {
        const int places = std::max(sec.IntPlaces, 1);
        if (value != 0) {
            exponent = static_cast<int>(std::floor(std::log10(value))) - (places - 1);
            double mantissa = value / std::pow(10.0, exponent);
            // Rounding may carry into one more digit.
            const double limit = std::pow(10.0, places);
            if (std::round(mantissa * std::pow(10.0, sec.FracPlaces)) >= limit * std::pow(10.0, sec.FracPlaces)) {
                ++exponent;
                mantissa /= 10;
            }
            value = mantissa;
        }
    }
    Digits(value, sec, intDigits, fracDigits);
    if (sec.Grouping) intDigits = Group(intDigits, thousands);

    QString out;
    int intIndex = 0, fracIndex = 0;
    // With grouping the integer part is written whole at the first
    // placeholder; otherwise digits fill the placeholders from the right,
    // the first taking any that are left over.
    const qsizetype offset = sec.Grouping ? 0 : intDigits.size() - sec.IntPlaces;
    for (const TToken& t : sec.Tokens) {
        switch (t.Kind) {
        case TToken::Literal: out += t.Text; break;
        case TToken::Point:
            if (!fracDigits.isEmpty()) out += decimal;
            break;
        case TToken::Digit:
            if (t.Fraction) {
                if (fracIndex < fracDigits.size()) out += fracDigits[fracIndex];
                ++fracIndex;
            } else if (sec.Grouping) {
                if (intIndex++ == 0) out += intDigits;
            } else {
                if (intIndex == 0 && offset > 0) out += intDigits.left(offset);
                const qsizetype k = intIndex + offset;
                if (k >= 0 && k < intDigits.size()) out += intDigits[k];
                ++intIndex;
            }
            break;
        case TToken::Exponent: {
            out += t.Char;
            if (exponent < 0) out += u'-';
            else if (t.AlwaysSign) out += u'+';
            out += QString::number(std::abs(exponent)).rightJustified(t.ExponentDigits, u'0');
            break;
        }
        }
    }
    return out;
}

bool HasDigits(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c != u'0'; });
}

}  // namespace

QString FormatNumber(const QString& format, double value, QChar decimal, QChar thousands) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (format.isEmpty()) {
        QString s = QString::number(value, 'g', 15);
        s.replace(u'.', decimal);
        return s;
    }
    const std::vector<QString> sections = Sections(format);
    const TSection first = Parse(sections[0]);
    if (value < 0 && sections.size() > 1 && !sections[1].isEmpty())
        return Apply(Parse(sections[1]), -value, decimal, thousands);
    if (sections.size() > 2 && !sections[2].isEmpty()) {
        // The zero section serves whatever the first writes as zero.
        const QString asFirst = Apply(first, std::abs(value), decimal, thousands);
        if (!HasDigits(asFirst)) return Apply(Parse(sections[2]), 0, decimal, thousands);
    }
    const QString text = Apply(first, std::abs(value), decimal, thousands);
    return value < 0 && HasDigits(text) ? u'-' + text : text;
}

QString FormatUserNumber(const QString& format, double value) {
    return FormatNumber(format, value, UserDecimalPoint(), UserGroupSeparator());
}
