#include "engine/data/TableText.h"

QString ListToCommaText(const QStringList& items) {
    QStringList out;
    out.reserve(items.size());
    for (const QString& s : items) {
        bool quote = s.isEmpty();
        for (QChar c : s)
            if (c.unicode() <= 32 || c == u',' || c == u'"') quote = true;
        if (!quote) {
            out.append(s);
            continue;
        }
        QString q = s;
        q.replace(u'"', QStringLiteral("\"\""));
        out.append(u'"' + q + u'"');
    }
    return out.join(u',');
}

QStringList CommaTextToList(const QString& text) {
    QStringList out;
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n && text[i].unicode() <= 32) ++i;
    while (i < n) {
        QString item;
        if (text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        item.append(u'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item.append(text[i++]);
            }
            while (i < n && text[i] != u',' && text[i].unicode() > 32) item.append(text[i++]);
        } else {
            while (i < n && text[i] != u',' && text[i].unicode() > 32) item.append(text[i++]);
        }
        out.append(item);
        while (i < n && text[i].unicode() <= 32) ++i;
        if (i < n && text[i] == u',') {
            ++i;
            while (i < n && text[i].unicode() <= 32) ++i;
            if (i == n) out.append(QString());
        }
    }
    return out;
}

QString FieldComponentName(const QString& fieldName) {
    QString out;
    for (QChar c : fieldName) {
        const QChar u = c.toUpper();
        if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || u == u'_') out.append(c);
    }
    return out;
}
