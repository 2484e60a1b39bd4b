// Showing a hill with four 24-megapixel JPEG orthophotos in the hill
// window (each decoded for the page it is shown on), against QImageReader
// decoding the same four files at full size.
#include <memory>

#include <QApplication>
#include <QImageReader>
#include <QTabWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "app/dialogs/DataFolder.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormMorros.h"
#include "app/plan/PicturePages.h"
#include "bench/BenchApp.h"
#include "core/Paths.h"
#include "engine/view/EngineStartup.h"
#include "platform/jpeg/Jpeg.h"
#include "platform/settings/Settings.h"
#include "tools/SamplePlan.h"

namespace {

// A colour aerial picture of 6000 x 4000: blocks, streets and roofs.
QImage DrawOrthophoto(int seed) {
    QImage image(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int block = ((x / 230) * 31 + (y / 190) * 17 + seed * 7) % 64;
            int g = 70 + block + ((x * 7 + y * 13) & 15);
            if (y % 40 < 26 && x % 40 < 28 && block > 40) g = 190 - ((x / 40 + y / 40) & 31);
            row[x] = (y % 900 < 14 || x % 1100 < 14) ? qRgb(210, 205, 190) : qRgb(g + 30, g + 20, g - 20);
        }
    }
    return image;
}

struct TScene {
    QTemporaryDir Dir;
    QStringList Files;
    std::unique_ptr<TDM> Module;
    std::unique_ptr<TtrelFormMorros> Window;

    TScene() {
        Settings::SetFile(JoinPath(Dir.path(), QStringLiteral("settings.ini")));
        StartEngine();
        WriteSamplePlan(Dir.path());
        RegisterSampleAlias(Dir.path(), true);
        SetDataFolder(Dir.path());
        // The first hill's four orthophotos become four large ones.
        for (int i = 1; i <= 4; ++i) {
            const QString name = QStringLiteral("bench_%1.jpg").arg(i);
            Files << JoinPath(Dir.path(), QStringLiteral("ortofotos/") + name);
            SaveJpeg(DrawOrthophoto(i), Files.back(), 85);
        }
        sqlite3* db = nullptr;
        sqlite3_open(SampleDatabaseFile(Dir.path()).toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "UPDATE morros SET ortofoto1 = 'bench_1.jpg', ortofoto2 = 'bench_2.jpg', ortofoto3 = 'bench_3.jpg', "
                     "ortofoto4 = 'bench_4.jpg' WHERE cod_morro = 'M01'",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        Module = std::make_unique<TDM>();
        Module->Open();
        Window = std::make_unique<TtrelFormMorros>(*Module, nullptr, nullptr);
        Window->resize(640, 540);
        auto* pages = Window->findChild<QTabWidget*>(QStringLiteral("PageControl"));
        pages->setCurrentWidget(pages->findChild<QWidget*>(QStringLiteral("TabOrtofotos")));
    }
    ~TScene() {
        Window.reset();
        Module.reset();
        StopEngine();
        Settings::SetFile(QString());
    }
};

TScene& Scene() {
    BenchApp("bench-plan");
    static TScene scene;
    return scene;
}

void BM_ShowOrthophoto_ours(benchmark::State& state) {
    TScene& s = Scene();
    for (auto _ : state) {
        s.Window->show();  // the hill's photographs and orthophotos, decoded for their pages
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (s.Window->Ortofotos().Page(3)->Picture()->Image().isNull()) state.SkipWithError("no orthophoto shown");
        s.Window->hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowOrthophoto_ours)->Name("BM_ShowOrthophoto/ours")->Unit(benchmark::kMillisecond);

void BM_ShowOrthophoto_peer(benchmark::State& state) {
    TScene& s = Scene();
    for (auto _ : state) {
        for (const QString& file : s.Files) {
            QImageReader reader(file);
            benchmark::DoNotOptimize(reader.read());
        }
    }
}
BENCHMARK(BM_ShowOrthophoto_peer)->Name("BM_ShowOrthophoto/peer")->Unit(benchmark::kMillisecond);

}  // namespace
