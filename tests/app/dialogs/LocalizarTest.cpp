// The search dialogs over a small plan database with accented names: the
// row located as the user types, ignoring case (against Python's case
// folding), the order after a click on a column title (against
// sqlite3's "order by"), and the value chosen with OK, Enter or a double
// click.
#include <memory>

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/dialogs/Localizar.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "tests/app/dialogs/DialogTestUtil.h"

namespace {

// Hills in code order; names chosen so that accents, case and shared
// prefixes matter.
const char* const kHills[][2] = {
    {"M01", "Morro do Cruzeiro"}, {"M02", "Água Fria"},     {"M03", "Água Branca"}, {"M04", "alto da Serra"},
    {"M05", "Árvore Seca"},       {"M06", "Éden"},          {"M07", "Esperança"},   {"M08", "Ilha Grande"},
    {"M09", "Ímã Velho"},         {"M10", "Ouro Fino"},     {"M11", "Óbidos"},      {"M12", "ÁGUA Santa"},
};

const char* kOracle = R"(
import sqlite3, sys
def fold(s):
    return s.casefold()
db, order, field = sys.argv[1], sys.argv[2], sys.argv[3]
rows = sqlite3.connect(db).execute('select cod_morro, ' + field + ' from morros ' + order).fetchall()
for prefix in sys.argv[4:]:
    hit = next((code for code, value in rows if fold(value).startswith(fold(prefix))), '-')
    print(hit)
)";

struct LocalizarTest : ::testing::Test {
    static void SetUpTestSuite() {
        TestApp();
        dir_ = new QTemporaryDir;
        file_ = dir_->filePath(QStringLiteral("trel.sqlite"));
        QString sql = QStringLiteral(
            "create table morros(cod_morro varchar(10), nome varchar(80));"
            "create table setores(cod_morro varchar(10), cod_setor varchar(10), cod_morrosetor varchar(10),"
            " referencia varchar(120), grau_probabilidade varchar(5), n_moradias integer);");
        int n = 0;
        for (const auto& h : kHills) {
            sql += QStringLiteral("insert into morros values('%1','%2');").arg(QString::fromUtf8(h[0]), QString::fromUtf8(h[1]));
            for (int s = 1; s <= 2; ++s)
                sql += QStringLiteral("insert into setores values('%1','S0%2','%1S0%2','Rua %3 %2','R%4',%5);")
                           .arg(QString::fromUtf8(h[0]))
                           .arg(s)
                           .arg(QString::fromUtf8(h[1]))
                           .arg(1 + n % 4)
                           .arg((n * 37) % 101);
            ++n;
        }
        RunTool(QStringLiteral("sqlite3"), {file_, sql});
        Session().AddStandardAlias(QStringLiteral("TRELQelDialogs"), file_);
        db_ = new TDatabase;
        db_->SetAliasName(QStringLiteral("TRELQelDialogs"));
        db_->SetDatabaseName(QStringLiteral("TREL"));
        db_->SetLoginPrompt(false);
        db_->Open();
    }
    static void TearDownTestSuite() {
        delete db_;
        delete dir_;
    }

    static QStringList Sqlite(const QString& select) { return OutputLines(RunTool(QStringLiteral("sqlite3"), {file_, select})); }
    static QStringList Oracle(const QString& order, const QString& field, const QStringList& prefixes) {
        return OutputLines(RunTool(QStringLiteral("/usr/bin/python3"),
                                   QStringList{QStringLiteral("-c"), QString::fromUtf8(kOracle), file_, order, field} + prefixes));
    }
    // The grid's first column, top to bottom.
    static QStringList GridColumn(const TlibFormLocalizar& d, int column = 0) {
        QStringList out;
        const QAbstractItemModel* m = d.DBLocalizar()->model();
        for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, column).data().toString();
        return out;
    }
    static QString Current(const TlibFormLocalizar& d, const char* field) {
        return d.ConsultaOrd()->FieldByName(QString::fromLatin1(field))->AsString();
    }

    static QTemporaryDir* dir_;
    static QString file_;
    static TDatabase* db_;
};
QTemporaryDir* LocalizarTest::dir_ = nullptr;
QString LocalizarTest::file_;
TDatabase* LocalizarTest::db_ = nullptr;

}  // namespace

TEST_F(LocalizarTest, TypedTextLocatesAsTheOracleDoes) {
    REQUIRE_TOOL("sqlite3");
    TtrelFormLocalizarMorro d;
    d.show();
    EXPECT_EQ(d.ComboOrd()->count(), 1);
    EXPECT_EQ(d.ComboOrd()->currentText(), QStringLiteral("Nome"));
    EXPECT_EQ(d.DBLocalizar()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Código"));
    const QStringList prefixes = {QStringLiteral("agua"),  QStringLiteral("ÁGUA B"), QStringLiteral("água s"),
                                  QStringLiteral("a"),     QStringLiteral("AL"),     QStringLiteral("arv"),
                                  QStringLiteral("ed"),    QStringLiteral("É"),      QStringLiteral("ima"),
                                  QStringLiteral("obi"),   QStringLiteral("ó"),      QStringLiteral("morro d"),
                                  QStringLiteral("M0"),    QStringLiteral("zz"),     QStringLiteral("agua fria!")};
    // In the query's first order, then in the name's descending order.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            d.ColumnTitleClick(1);
            d.ColumnTitleClick(1);
        }
        const QString order = pass == 0 ? QStringLiteral("order by cod_morro asc") : QStringLiteral("order by nome desc");
        const QStringList expected = Oracle(order, QStringLiteral("nome"), prefixes);
        ASSERT_EQ(expected.size(), prefixes.size());
        for (int i = 0; i < prefixes.size(); ++i) {
            d.ConsultaOrd()->First();
            const QString start = Current(d, "cod_morro");
            d.EditLocalizar()->clear();
            d.EditLocalizar()->setText(prefixes[i]);
            // Nothing found: the grid stays where it was.
            const QString want = expected[i] == u"-" ? start : expected[i];
            EXPECT_EQ(Current(d, "cod_morro"), want) << prefixes[i].toStdString() << " " << order.toStdString();
            EXPECT_EQ(d.DBLocalizar()->currentIndex().row(), d.ConsultaOrd()->CurrentRow());
        }
    }
}

TEST_F(LocalizarTest, SectorSearchFindsInTheChosenColumn) {
    REQUIRE_TOOL("sqlite3");
    TtrelFormLocalizarSetor d;
    d.show();
    ASSERT_EQ(d.ComboOrd()->count(), 2);
    EXPECT_EQ(d.ComboOrd()->itemText(1), QStringLiteral("Referência"));
    d.EditLocalizar()->setText(QStringLiteral("m03s02"));
    EXPECT_EQ(Current(d, "cod_morrosetor"), QStringLiteral("M03S02"));
    d.ComboOrd()->setCurrentIndex(1);
    d.EditLocalizar()->setText(QStringLiteral("rua árvore"));
    EXPECT_EQ(Current(d, "cod_morrosetor"), QStringLiteral("M05S01"));

    // Shown again, the query is reopened: the list starts on its first
    // row, wherever it stood; Enter in the list chooses the row.
    TModalScope scope;
    d.hide();
    d.show();
    EXPECT_EQ(d.DBLocalizar()->currentIndex().row(), 0);
    EXPECT_EQ(Current(d, "cod_morrosetor"), GridColumn(d).value(0));
    QTest::keyClick(d.DBLocalizar(), Qt::Key_Down);
    QTest::keyClick(d.DBLocalizar(), Qt::Key_Enter);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.ValorEscolhido, GridColumn(d).value(1));
}

TEST_F(LocalizarTest, ColumnTitlesSortAsSqliteDoes) {
    REQUIRE_TOOL("sqlite3");
    TtrelFormLocalizarSetor d;
    d.show();
    EXPECT_EQ(GridColumn(d), Sqlite(QStringLiteral("select cod_morrosetor from setores order by cod_morrosetor asc")));
    EXPECT_EQ(d.SortColumn(), -1);
    struct TStep {
        int Column;
        const char* Order;
    };
    // A new column sorts ascending, the same one again descending, then
    // ascending again.
    const TStep steps[] = {{3, "n_moradias asc"},  {3, "n_moradias desc"}, {3, "n_moradias asc"},
                           {1, "referencia asc"},  {1, "referencia desc"}, {0, "cod_morrosetor asc"},
                           {2, "grau_probabilidade asc"}};
    for (const TStep& s : steps) {
        emit d.DBLocalizar()->horizontalHeader()->sectionClicked(s.Column);
        const QString order = QStringLiteral("order by ") + QString::fromLatin1(s.Order);
        EXPECT_EQ(d.ConsultaOrd()->SQL().value(1), order);
        EXPECT_EQ(d.SortColumn(), s.Column);
        EXPECT_EQ(d.SortAscending(), order.endsWith(QStringLiteral("asc")));
        // Ties (equal degrees) keep no particular order: the sorted
        // column is compared.
        const QStringList fields = {QStringLiteral("cod_morrosetor"), QStringLiteral("referencia"),
                                    QStringLiteral("grau_probabilidade"), QStringLiteral("n_moradias")};
        EXPECT_EQ(GridColumn(d, s.Column),
                  Sqlite(QStringLiteral("select %1 from setores %2").arg(fields[s.Column], order)))
            << order.toStdString();
    }
    // The order is kept when the dialog is shown again.
    d.hide();
    d.show();
    EXPECT_EQ(d.ConsultaOrd()->SQL().value(1), QStringLiteral("order by grau_probabilidade asc"));
}

TEST_F(LocalizarTest, OkEnterAndDoubleClickChooseCancelChoosesNothing) {
    TModalScope scope;
    TtrelFormLocalizarMorro d;
    d.show();
    d.EditLocalizar()->setText(QStringLiteral("éden"));
    d.reject();
    EXPECT_EQ(d.ValorEscolhido, QString());
    EXPECT_EQ(d.CampoEscolhido, QStringLiteral("cod_morro"));

    d.show();
    d.EditLocalizar()->clear();
    d.EditLocalizar()->setText(QStringLiteral("éden"));
    QTest::keyClick(d.EditLocalizar(), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.ValorEscolhido, QStringLiteral("M06"));

    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QTableView* grid = d.DBLocalizar();
    const QRect cell = grid->visualRect(grid->model()->index(2, 1));
    // A double click: the first click, then the second one.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.ValorEscolhido, QStringLiteral("M03"));
    EXPECT_EQ(Current(d, "cod_morro"), QStringLiteral("M03"));
}
