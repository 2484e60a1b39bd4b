#include "platform/db/SqlText.h"

#include <vector>

namespace {

enum TTokKind { tkSpace, tkString, tkQuoted, tkWord, tkParam, tkAliasTable, tkNumber, tkPunct };

struct TToken {
    TTokKind Kind;
    int Start, End;  // [Start, End) in the text
};

bool IdentStart(QChar c) { return c.isLetter() || c == u'_' || c.unicode() >= 0x80; }
bool IdentPart(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80; }

// Scans a double-quoted identifier at i; returns the end (past the quote).
int ScanQuoted(const QString& s, int i, QChar close) {
    const int n = s.size();
    ++i;
    while (i < n) {
        if (s[i] == close) {
            if (close == u'"' && i + 1 < n && s[i + 1] == u'"') { i += 2; continue; }
            return i + 1;
        }
        ++i;
    }
    return n;
}

std::vector<TToken> Tokenize(const QString& s) {
    std::vector<TToken> out;
    const int n = s.size();
    int i = 0;
    while (i < n) {
        const int start = i;
        const QChar c = s[i];
        if (c.isSpace()) {
            while (i < n && s[i].isSpace()) ++i;
            out.push_back({tkSpace, start, i});
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n') ++i;
            out.push_back({tkSpace, start, i});
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const int e = s.indexOf(QStringLiteral("*/"), i + 2);
            i = e < 0 ? n : e + 2;
            out.push_back({tkSpace, start, i});
        } else if (c == u'\'') {
            ++i;
            while (i < n) {
                if (s[i] == u'\'') {
                    if (i + 1 < n && s[i + 1] == u'\'') { i += 2; continue; }
                    ++i;
                    break;
                }
                ++i;
            }
            out.push_back({tkString, start, i});
        } else if (c == u'"') {
            i = ScanQuoted(s, i, u'"');
            out.push_back({tkQuoted, start, i});
        } else if (c == u'[') {
            i = ScanQuoted(s, i, u']');
            out.push_back({tkQuoted, start, i});
        } else if (c == u':' && i + 1 < n && IdentStart(s[i + 1])) {
            int j = i + 1;
            while (j < n && IdentPart(s[j])) ++j;
            if (j + 1 < n && s[j] == u':' && (IdentStart(s[j + 1]) || s[j + 1] == u'"')) {
                int k = j + 1;
                if (s[k] == u'"') k = ScanQuoted(s, k, u'"');
                else
                    while (k < n && (IdentPart(s[k]) || s[k] == u'.')) ++k;
                i = k;
                out.push_back({tkAliasTable, start, i});
            } else {
                i = j;
                out.push_back({tkParam, start, i});
            }
        } else if (IdentStart(c)) {
            while (i < n && IdentPart(s[i])) ++i;
            out.push_back({tkWord, start, i});
        } else if (c.isDigit()) {
            while (i < n && (s[i].isLetterOrNumber() || s[i] == u'.')) ++i;
            out.push_back({tkNumber, start, i});
        } else {
            ++i;
            out.push_back({tkPunct, start, i});
        }
    }
    return out;
}

QString Unquote(const QString& t) {
    if (t.size() >= 2 && t.front() == u'"') return t.mid(1, t.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    if (t.size() >= 2 && t.front() == u'[') return t.mid(1, t.size() - 2);
    return t;
}

bool IsReserved(const QString& upper) {
    static const QStringList words = {
        QStringLiteral("WHERE"), QStringLiteral("GROUP"), QStringLiteral("ORDER"), QStringLiteral("HAVING"),
        QStringLiteral("LIMIT"), QStringLiteral("UNION"), QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT"),
        QStringLiteral("ON"), QStringLiteral("USING"), QStringLiteral("SET"), QStringLiteral("VALUES"),
        QStringLiteral("SELECT"), QStringLiteral("LEFT"), QStringLiteral("RIGHT"), QStringLiteral("INNER"),
        QStringLiteral("OUTER"), QStringLiteral("CROSS"), QStringLiteral("NATURAL"), QStringLiteral("FULL"),
        QStringLiteral("JOIN"), QStringLiteral("AS"), QStringLiteral("WINDOW"), QStringLiteral("DEFAULT"),
        QStringLiteral("RETURNING"), QStringLiteral("INDEXED"), QStringLiteral("NOT")};
    return words.contains(upper);
}

bool EndsFromList(const QString& upper) {
    return upper == u"WHERE" || upper == u"GROUP" || upper == u"ORDER" || upper == u"HAVING" ||
           upper == u"LIMIT" || upper == u"UNION" || upper == u"EXCEPT" || upper == u"INTERSECT" ||
           upper == u"ON" || upper == u"USING" || upper == u"SET" || upper == u"VALUES" ||
           upper == u"SELECT" || upper == u"WINDOW";
}

}  // namespace

QString QuoteIdent(const QString& name) {
    QString t = name;
    t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + t + u'"';
}

QStringList SqlParamNames(const QString& sql) {
    QStringList names;
    for (const TToken& t : Tokenize(sql)) {
        if (t.Kind != tkParam) continue;
        const QString name = sql.mid(t.Start + 1, t.End - t.Start - 1);
        bool seen = false;
        for (const QString& n : names)
            if (n.compare(name, Qt::CaseInsensitive) == 0) seen = true;
        if (!seen) names << name;
    }
    return names;
}

QString RewriteTableRefs(const QString& sql, const std::function<QString(const TTableRef&)>& resolve,
                         TSqlShape* shape) {
    const std::vector<TToken> toks = Tokenize(sql);
    std::vector<int> sig;  // indices of significant tokens
    for (int i = 0; i < static_cast<int>(toks.size()); ++i)
        if (toks[i].Kind != tkSpace) sig.push_back(i);
    std::vector<QString> replacement(toks.size());
    std::vector<bool> replaced(toks.size(), false);
    TSqlShape local;
    TSqlShape& sh = shape ? *shape : local;
    sh = TSqlShape();

    auto text = [&](int si) { return sql.mid(toks[sig[si]].Start, toks[sig[si]].End - toks[sig[si]].Start); };
    auto upper = [&](int si) { return toks[sig[si]].Kind == tkWord ? text(si).toUpper() : QString(); };
    auto isPunct = [&](int si, QChar c) {
        return si < static_cast<int>(sig.size()) && toks[sig[si]].Kind == tkPunct && sql[toks[sig[si]].Start] == c;
    };

    std::vector<std::pair<QString, QString>> refsWithCorrelation;
    bool expect = false, inFrom = false, listAllowed = false;
    int depth = 0, fromDepth = 0;
    const int count = static_cast<int>(sig.size());
    for (int si = 0; si < count; ++si) {
        const TToken& t = toks[sig[si]];
        const QString up = upper(si);
        if (si == 0) {
            sh.IsSelect = up == u"SELECT";
        }
        if (sh.IsSelect && si == 1 && up == u"DISTINCT") sh.Distinct = true;
        if (expect) {
            expect = false;
            if (isPunct(si, u'(')) {
                ++depth;
                continue;
            }
            if (t.Kind == tkQuoted || t.Kind == tkAliasTable || (t.Kind == tkWord && !IsReserved(up))) {
                // schema.table is left as written
                if (isPunct(si + 1, u'.') && si + 2 < count) {
                    si += 2;
                    ++sh.TableCount;
                    if (sh.FirstTable.isEmpty()) sh.FirstTable = text(si - 2) + u'.' + text(si);
                    continue;
                }
                TTableRef ref;
                const QString raw = text(si);
                if (t.Kind == tkAliasTable) {
                    ref.Kind = TTableRef::trAlias;
                    const int second = raw.indexOf(u':', 1);
                    ref.AliasName = raw.mid(1, second - 1);
                    ref.Text = Unquote(raw.mid(second + 1));
                } else if (t.Kind == tkQuoted) {
                    ref.Kind = TTableRef::trQuoted;
                    ref.Text = Unquote(raw);
                } else {
                    ref.Text = raw;
                }
                int next = si + 1;
                if (next < count && upper(next) == u"AS" && next + 1 < count) {
                    ref.Correlation = Unquote(text(next + 1));
                } else if (next < count && (toks[sig[next]].Kind == tkWord || toks[sig[next]].Kind == tkQuoted) &&
                           !IsReserved(upper(next))) {
                    ref.Correlation = Unquote(text(next));
                }
                const QString rep = resolve(ref);
                if (!ref.Correlation.isEmpty() && ref.Kind == TTableRef::trQuoted)
                    refsWithCorrelation.emplace_back(ref.Text, ref.Correlation);
                replacement[sig[si]] = rep;
                replaced[sig[si]] = true;
                ++sh.TableCount;
                if (sh.FirstTable.isEmpty()) {
                    sh.FirstTable = rep;
                    sh.FirstCorrelation = ref.Correlation;
                }
                continue;
            }
        }
        if (t.Kind == tkPunct) {
            const QChar c = sql[t.Start];
            if (c == u'(') ++depth;
            else if (c == u')') {
                --depth;
                if (depth < fromDepth) inFrom = false;
            } else if (c == u',' && inFrom && listAllowed && depth == fromDepth) {
                expect = true;
            }
            continue;
        }
        if (up.isEmpty()) continue;
        if (up == u"FROM") {
            expect = inFrom = listAllowed = true;
            fromDepth = depth;
        } else if (up == u"JOIN") {
            expect = true;
            sh.Joined = true;
            inFrom = true;
            listAllowed = false;
            fromDepth = depth;
        } else if (up == u"INTO" || up == u"UPDATE") {
            expect = true;
            inFrom = false;
        } else if (up == u"GROUP" || up == u"UNION" || up == u"EXCEPT" || up == u"INTERSECT") {
            sh.Grouped = true;
            if (depth == fromDepth) inFrom = false;
        } else if (EndsFromList(up) && depth == fromDepth) {
            inFrom = false;
        }
    }

    // A column qualified by the table's own name where the table has a
    // correlation name ("c:\a.dbf"."ID" with FROM "c:\a.dbf" layer) is
    // qualified by the correlation name, as local SQL allowed.
    std::vector<std::pair<QString, QString>> correlated;  // table text, correlation
    for (const auto& [text, corr] : refsWithCorrelation) correlated.emplace_back(text, corr);
    for (int si = 0; si + 1 < count; ++si) {
        const TToken& t = toks[sig[si]];
        if (t.Kind != tkQuoted || replaced[sig[si]] || !isPunct(si + 1, u'.')) continue;
        if (si > 0 && isPunct(si - 1, u'.')) continue;
        const QString name = Unquote(text(si));
        for (const auto& [tableText, corr] : correlated) {
            if (tableText.compare(name, Qt::CaseInsensitive) == 0) {
                replacement[sig[si]] = QuoteIdent(corr);
                replaced[sig[si]] = true;
                break;
            }
        }
    }

    QString out;
    out.reserve(sql.size() + 64);
    for (int i = 0; i < static_cast<int>(toks.size()); ++i) {
        out += replaced[i] ? replacement[i] : sql.mid(toks[i].Start, toks[i].End - toks[i].Start);
        if (sh.IsSelect && sh.SelectEnd < 0 && toks[i].Kind == tkWord) sh.SelectEnd = out.size();
    }
    return out;
}
