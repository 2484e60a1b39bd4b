// The wait box's types and gauge, and the about box's memory figures
// (against `free -b`).
#include <QLabel>
#include <QProgressBar>

#include "app/dialogs/SmallForms.h"
#include "app/dialogs/WaitBox.h"
#include "tests/app/dialogs/DialogTestUtil.h"

TEST(WaitBox, TypesSetActionSizeAndGaugeAndShowingItLeavesTheGauge) {
    TestApp();
    TkoviFormWait w;
    struct TCase {
        int Tipo;
        const char* Action;
        int Height;
        bool Gauge;
    };
    const TCase cases[] = {{1, "Salvando...", 195, false},   {2, "Carregando...", 195, false},
                           {3, "Importando...", 195, false}, {4, "Exportando...", 195, false},
                           {5, "Procurando...", 195, false}, {10, "Procurando...", 195, false},
                           {6, "Salvando...", 240, true},    {7, "Carregando...", 240, true},
                           {8, "Importando...", 240, true},  {9, "Exportando...", 240, true}};
    for (const TCase& c : cases) {
        w.Tipo = c.Tipo;
        w.NomeObjeto = QStringLiteral("Vias");
        w.Diretorio = QStringLiteral("camadas/m01_vias.cam");
        w.ShowWait();
        w.Progresso()->setValue(100);
        w.close();
        w.ShowWait();
        EXPECT_EQ(w.Label1()->text(), QString::fromUtf8(c.Action)) << c.Tipo;
        EXPECT_EQ(w.Label2()->text(), QStringLiteral("Vias"));
        EXPECT_EQ(w.Label3()->text(), QStringLiteral("camadas/m01_vias.cam"));
        EXPECT_EQ(w.size(), QSize(350, c.Height)) << c.Tipo;
        EXPECT_EQ(w.Progresso()->isVisible(), c.Gauge) << c.Tipo;
        EXPECT_EQ(w.Progresso()->value(), 100) << c.Tipo;  // the progress reports set it, not the show
        w.close();
    }
    // Another code keeps the action, size and gauge of the last one.
    w.Tipo = 0;
    w.NomeObjeto = QStringLiteral("Outra");
    w.ShowWait();
    EXPECT_EQ(w.Label1()->text(), QStringLiteral("Exportando..."));
    EXPECT_EQ(w.Label2()->text(), QStringLiteral("Outra"));
    EXPECT_EQ(w.height(), 240);
}

TEST(AboutBox, MemoryFiguresAreThisMachines) {
    TestApp();
    REQUIRE_TOOL("free");
    TkoviAboutBox about;
    about.show();
    // free -b: "Mem: total used free shared buff/cache available",
    // "Swap: total used free".
    const QStringList lines = OutputLines(RunTool(QStringLiteral("free"), {QStringLiteral("-b")}));
    ASSERT_GE(lines.size(), 3);
    const QStringList mem = lines[1].simplified().split(u' ');
    const QStringList swap = lines[2].simplified().split(u' ');
    EXPECT_EQ(about.MemoriaFisica->text(), MemoryFigure(mem[1].toULongLong()));
    EXPECT_EQ(about.MemoriaPaginada->text(), MemoryFigure(swap[1].toULongLong()));
    const TMemoryStatus m = ReadMemoryStatus();
    EXPECT_GT(m.AvailPhys, 0u);
    EXPECT_LE(m.AvailPhys, m.TotalPhys);
    EXPECT_TRUE(about.MemoriaEmUso->text().endsWith(u'%'));
    // 64-bit figures: the address space is beyond 4 GiB.
    EXPECT_GT(m.TotalVirtual, std::uint64_t(1) << 32);
    EXPECT_GT(m.AvailVirtual, 0u);
}
