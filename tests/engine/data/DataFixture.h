#pragma once
// Shared set-up of the attribute tests: two dBase tables made through the
// database layer, and the same data imported into SQLite by ogr2ogr, where
// the sqlite3 shell runs the equivalent SQL.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/db/Session.h"
#include "platform/db/Table.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(u'|').toStdString() << ']'; }

// Numbers in one form ("4.0" and "4" alike), so that both sides compare.
inline QString NormalizeCells(const QString& rows) {
    QStringList out;
    for (const QString& row : rows.split(u'\n')) {
        QStringList cells = row.split(u'|');
        for (QString& c : cells) {
            bool ok = false;
            const double d = c.toDouble(&ok);
            if (ok) c = QString::number(d, 'g', 9);
        }
        out << cells.join(u'|');
    }
    return out.join(u'\n');
}

struct TParcel {
    const char* Id;
    int Code;
    const char* Name;
    const char* Bairro;  // nullptr: NULL
    double Area;
};

inline const TParcel kParcels[] = {
    {"0001", 10, "Casa azul", "Centro", 1.5},     {"0002", 20, "Escola", "Morro", 2.25},
    {"0003", 10, "Posto, norte", "Centro", 0.75}, {"0004", 30, "Igreja \"Sé\"", "Vila", 4.0},
    {"0005", 40, "Praça", nullptr, 3.5},          {"0006", 20, "Mercado", "Morro", 0.5},
    {"0007", 50, "Sem dono", "Centro", 6.0},
};

class DataFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path();
        {
            TTable t;
            t.SetDatabaseName(folder);
            t.SetTableName(QStringLiteral("parcels"));
            t.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
            t.FieldDefs().Add(QStringLiteral("CODE"), ftInteger);
            t.FieldDefs().Add(QStringLiteral("NAME"), ftString, 30);
            t.FieldDefs().Add(QStringLiteral("BAIRRO"), ftString, 20);
            t.FieldDefs().Add(QStringLiteral("HA"), ftFloat);
            t.CreateTable();
            t.Open();
            for (const TParcel& p : kParcels) {
                t.Append();
                t.FieldByName(QStringLiteral("ID"))->SetAsString(QString::fromUtf8(p.Id));
                t.FieldByName(QStringLiteral("CODE"))->SetAsInteger(p.Code);
                t.FieldByName(QStringLiteral("NAME"))->SetAsString(QString::fromUtf8(p.Name));
                if (p.Bairro) t.FieldByName(QStringLiteral("BAIRRO"))->SetAsString(QString::fromUtf8(p.Bairro));
                t.FieldByName(QStringLiteral("HA"))->SetAsFloat(p.Area);
                t.Post();
            }
            t.Close();
        }
        {
            TTable t;
            t.SetDatabaseName(folder);
            t.SetTableName(QStringLiteral("owners"));
            t.FieldDefs().Add(QStringLiteral("CODE"), ftInteger);
            t.FieldDefs().Add(QStringLiteral("OWNER"), ftString, 30);
            t.CreateTable();
            t.Open();
            const std::pair<int, const char*> owners[] = {{10, "Ana"}, {20, "Bruno"}, {30, "Carla"}, {40, "Davi"}};
            for (auto [c, o] : owners) {
                t.Append();
                t.FieldByName(QStringLiteral("CODE"))->SetAsInteger(c);
                t.FieldByName(QStringLiteral("OWNER"))->SetAsString(QString::fromUtf8(o));
                t.Post();
            }
            t.Close();
        }
    }

    // The sqlite3 shell over the ogr2ogr import of the folder's tables:
    // rows joined by "\n", columns by "|".
    QString Oracle(const QString& sql) {
        const QString db = QDir(folder).filePath(QStringLiteral("oracle.sqlite"));
        if (!QFile::exists(db)) {
            for (const char* t : {"parcels.dbf", "owners.dbf"}) {
                QStringList args{QStringLiteral("-f"), QStringLiteral("SQLite"), QStringLiteral("-lco"),
                                 QStringLiteral("LAUNDER=NO")};
                if (QFile::exists(db)) args << QStringLiteral("-update");
                args << db << QDir(folder).filePath(QString::fromLatin1(t));
                QProcess p;
                p.start(QStringLiteral("ogr2ogr"), args);
                p.waitForFinished(60000);
                EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
            }
        }
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), QStringLiteral("-noheader"),
                                            QStringLiteral("-separator"), QStringLiteral("|"), db, sql});
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return NormalizeCells(QString::fromUtf8(p.readAllStandardOutput()).trimmed());
    }

    // The rows of an open dataset, the named columns joined like Oracle's.
    static QString Rows(TDataSet& ds, const QStringList& fields) {
        QStringList rows;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            QStringList cols;
            for (const QString& f : fields) cols << ds.FieldByName(f)->AsString();
            rows << cols.join(u'|');
        }
        return NormalizeCells(rows.join(u'\n'));
    }

    QTemporaryDir dir;
    QString folder;
};
