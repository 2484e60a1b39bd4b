#include "platform/db/SqlText.h"

#include <vector>

#include "platform/db/DbError.h"

namespace {

enum TTokKind { tkSpace, tkString, tkQuoted, tkWord, tkParam, tkAliasTable, tkNumber, tkPunct };

struct TToken {
    TTokKind Kind;
    int Start, End;  // [Start, End) in the text
};

bool IdentStart(QChar c) { return c.isLetter() || c == u'_' || c.unicode() >= 0x80; }
bool IdentPart(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80; }

// Scans a quoted identifier ("name", `name` or [name]) at i; returns the
// end (past the closing mark). A doubled quote or backtick stands for
// itself.
int ScanQuoted(const QString& s, int i, QChar close) {
    const int n = s.size();
    ++i;
    while (i < n) {
        if (s[i] == close) {
            if (close != u']' && i + 1 < n && s[i + 1] == close) { i += 2; continue; }
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
        } else if (c == u'"' || c == u'`') {
            i = ScanQuoted(s, i, c);
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
    if (t.size() >= 2 && t.front() == u'`') return t.mid(1, t.size() - 2).replace(QStringLiteral("``"), QStringLiteral("`"));
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

QByteArray SqlBytes(const QString& sql) {
    const qsizetype nul = sql.indexOf(QChar(u'\0'));
    if (nul >= 0)
        throw EDatabaseError(QStringLiteral("O texto SQL contém um caractere nulo (na posição %1); nada foi executado.")
                                 .arg(nul + 1));
    return sql.toUtf8();
}

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

namespace {

// The tokens of a statement, with the significant ones (not white space or
// comments) numbered apart: the scans below walk those.
struct TStatementText {
    const QString& Sql;
    std::vector<TToken> Toks;
    std::vector<int> Sig;  // indices of significant tokens

    explicit TStatementText(const QString& sql) : Sql(sql), Toks(Tokenize(sql)) {
        for (int i = 0; i < static_cast<int>(Toks.size()); ++i)
            if (Toks[i].Kind != tkSpace) Sig.push_back(i);
    }
    int Count() const { return static_cast<int>(Sig.size()); }
    const TToken& Tok(int si) const { return Toks[Sig[si]]; }
    QString Text(int si) const { return Sql.mid(Tok(si).Start, Tok(si).End - Tok(si).Start); }
    // A word in upper case; empty for any other token.
    QString Upper(int si) const { return Tok(si).Kind == tkWord ? Text(si).toUpper() : QString(); }
    bool IsPunct(int si, QChar c) const { return si < Count() && Tok(si).Kind == tkPunct && Sql[Tok(si).Start] == c; }
};

// The new text of the tokens that change, by token index.
struct TReplacements {
    std::vector<QString> Text;
    std::vector<bool> Replaced;

    explicit TReplacements(std::size_t tokens) : Text(tokens), Replaced(tokens, false) {}
    void Set(int token, const QString& text) {
        Text[static_cast<std::size_t>(token)] = text;
        Replaced[static_cast<std::size_t>(token)] = true;
    }
};

// A quoted table name and the correlation name it was given.
using TCorrelations = std::vector<std::pair<QString, QString>>;

// Walks the statement's clauses and resolves each table reference where
// FROM (and its comma list), JOIN, INTO and UPDATE expect one, noting the
// statement's shape on the way.
class TTableRefScan {
public:
    TTableRefScan(const TStatementText& st, const std::function<QString(const TTableRef&)>& resolve, TReplacements& rep,
                  TSqlShape& shape)
        : st_(st), resolve_(resolve), rep_(rep), sh_(shape) {}

    // The quoted table names that were given a correlation name.
    TCorrelations Run() {
        for (int si = 0; si < st_.Count(); ++si) {
            NoteSelect(si);
            if (expect_) {
                expect_ = false;
                if (st_.IsPunct(si, u'(')) {
                    ++depth_;
                    continue;
                }
                if (TakeTableRef(si)) continue;
            }
            if (st_.Tok(si).Kind == tkPunct) Punct(st_.Sql[st_.Tok(si).Start]);
            else if (const QString up = st_.Upper(si); !up.isEmpty()) Keyword(up);
        }
        return std::move(correlated_);
    }

private:
    void NoteSelect(int si) {
        if (si == 0) sh_.IsSelect = st_.Upper(si) == u"SELECT";
        if (sh_.IsSelect && si == 1 && st_.Upper(si) == u"DISTINCT") sh_.Distinct = true;
    }

    // A table reference at si, resolved and replaced; si is left on its
    // last token. False when the token names no table.
    bool TakeTableRef(int& si) {
        const TToken& t = st_.Tok(si);
        const QString up = st_.Upper(si);
        if (!(t.Kind == tkQuoted || t.Kind == tkAliasTable || (t.Kind == tkWord && !IsReserved(up)))) return false;
        // schema.table is left as written
        if (st_.IsPunct(si + 1, u'.') && si + 2 < st_.Count()) {
            si += 2;
            ++sh_.TableCount;
            if (sh_.FirstTable.isEmpty()) sh_.FirstTable = st_.Text(si - 2) + u'.' + st_.Text(si);
            return true;
        }
        const TTableRef ref = ReadTableRef(si);
        const QString rep = resolve_(ref);
        if (!ref.Correlation.isEmpty() && ref.Kind == TTableRef::trQuoted) correlated_.emplace_back(ref.Text, ref.Correlation);
        rep_.Set(st_.Sig[si], rep);
        ++sh_.TableCount;
        if (sh_.FirstTable.isEmpty()) {
            sh_.FirstTable = rep;
            sh_.FirstCorrelation = ref.Correlation;
        }
        return true;
    }

    // The reference at si as written, with the correlation name after it.
    TTableRef ReadTableRef(int si) const {
        TTableRef ref;
        const QString raw = st_.Text(si);
        if (st_.Tok(si).Kind == tkAliasTable) {
            ref.Kind = TTableRef::trAlias;
            const int second = raw.indexOf(u':', 1);
            ref.AliasName = raw.mid(1, second - 1);
            ref.Text = Unquote(raw.mid(second + 1));
        } else if (st_.Tok(si).Kind == tkQuoted) {
            ref.Kind = TTableRef::trQuoted;
            ref.Text = Unquote(raw);
        } else {
            ref.Text = raw;
        }
        const int next = si + 1;
        const int count = st_.Count();
        if (next < count && st_.Upper(next) == u"AS" && next + 1 < count) {
            ref.Correlation = Unquote(st_.Text(next + 1));
        } else if (next < count && (st_.Tok(next).Kind == tkWord || st_.Tok(next).Kind == tkQuoted) &&
                   !IsReserved(st_.Upper(next))) {
            ref.Correlation = Unquote(st_.Text(next));
        }
        return ref;
    }

    // Brackets nest the clauses; a comma at the FROM list's own depth
    // announces another table.
    void Punct(QChar c) {
        if (c == u'(') {
            ++depth_;
        } else if (c == u')') {
            --depth_;
            if (depth_ < fromDepth_) inFrom_ = false;
        } else if (c == u',' && inFrom_ && listAllowed_ && depth_ == fromDepth_) {
            expect_ = true;
        }
    }

    void Keyword(const QString& up) {
        if (up == u"FROM") {
            expect_ = inFrom_ = listAllowed_ = true;
            fromDepth_ = depth_;
        } else if (up == u"JOIN") {
            expect_ = true;
            sh_.Joined = true;
            inFrom_ = true;
            listAllowed_ = false;
            fromDepth_ = depth_;
        } else if (up == u"INTO" || up == u"UPDATE") {
            expect_ = true;
            inFrom_ = false;
        } else if (up == u"GROUP" || up == u"UNION" || up == u"EXCEPT" || up == u"INTERSECT") {
            sh_.Grouped = true;
            if (depth_ == fromDepth_) inFrom_ = false;
        } else if (EndsFromList(up) && depth_ == fromDepth_) {
            inFrom_ = false;
        }
    }

    const TStatementText& st_;
    const std::function<QString(const TTableRef&)>& resolve_;
    TReplacements& rep_;
    TSqlShape& sh_;
    TCorrelations correlated_;
    bool expect_ = false, inFrom_ = false, listAllowed_ = false;
    int depth_ = 0, fromDepth_ = 0;
};

// A column qualified by the table's own name where the table has a
// correlation name ("c:\a.dbf"."ID" with FROM "c:\a.dbf" layer) is
// qualified by the correlation name, as local SQL allowed.
void QualifyByCorrelation(const TStatementText& st, const TCorrelations& correlated, TReplacements& rep) {
    for (int si = 0; si + 1 < st.Count(); ++si) {
        if (st.Tok(si).Kind != tkQuoted || rep.Replaced[st.Sig[si]] || !st.IsPunct(si + 1, u'.')) continue;
        if (si > 0 && st.IsPunct(si - 1, u'.')) continue;
        const QString name = Unquote(st.Text(si));
        for (const auto& [tableText, corr] : correlated) {
            if (tableText.compare(name, Qt::CaseInsensitive) == 0) {
                rep.Set(st.Sig[si], QuoteIdent(corr));
                break;
            }
        }
    }
}

// The statement with its replacements; notes where the first SELECT ends.
QString Assemble(const TStatementText& st, const TReplacements& rep, TSqlShape& sh) {
    QString out;
    out.reserve(st.Sql.size() + 64);
    for (std::size_t i = 0; i < st.Toks.size(); ++i) {
        const TToken& t = st.Toks[i];
        out += rep.Replaced[i] ? rep.Text[i] : st.Sql.mid(t.Start, t.End - t.Start);
        if (sh.IsSelect && sh.SelectEnd < 0 && t.Kind == tkWord) sh.SelectEnd = static_cast<int>(out.size());
    }
    return out;
}

}  // namespace

QString RewriteTableRefs(const QString& sql, const std::function<QString(const TTableRef&)>& resolve,
                         TSqlShape* shape) {
    const TStatementText st(sql);
    TSqlShape local;
    TSqlShape& sh = shape ? *shape : local;
    sh = TSqlShape();
    TReplacements rep(st.Toks.size());
    const TCorrelations correlated = TTableRefScan(st, resolve, rep, sh).Run();
    QualifyByCorrelation(st, correlated, rep);
    return Assemble(st, rep, sh);
}
