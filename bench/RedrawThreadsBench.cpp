// The map view's redraw of the whole plan (the plan's map and the base
// layers of every hill) at full extent on a 1920x1080 view, for the
// full-size plan (BM_RedrawPlanThreads) and the small sample
// (BM_RedrawSmallPlanThreads): with
// SeparatedDrawThread on (ours: the layers painted on the redraw threads and
// laid in order as the event loop hands them over, timed until the picture
// is whole) against the same view drawing every layer in turn on the
// user-interface thread (peer). CPU time is the process's, all threads.
//
// The full plan: the folder in KZ_BENCH_PLAN (a plan as the sample
// generator writes it), else the full-size sample written afresh; the small
// sample is always written afresh.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "bench/BenchApp.h"
#include "bench/PlanView.h"
#include "core/Paths.h"
#include "engine/layers/Layers.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "tools/SamplePlan.h"

namespace {

QApplication& App() { return BenchEngineApp("bench-redrawthreads"); }

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

// The plan's map with the base layers of every hill below its own layers.
TGISDrawing* MakePlanView(TSamplePlanSize size) {
    App();
    QString folder = size == TSamplePlanSize::Full ? qEnvironmentVariable("KZ_BENCH_PLAN") : QString();
    if (folder.isEmpty()) {
        folder = JoinPath(Dir().path(), size == TSamplePlanSize::Full ? QStringLiteral("full") : QStringLiteral("small"));
        WriteSamplePlan(folder, size);
    }
    return OpenPlanView(SampleMapFile(folder));
}

TGISDrawing& PlanView() {
    static TGISDrawing* view = MakePlanView(TSamplePlanSize::Full);
    return *view;
}

TGISDrawing& SmallPlanView() {
    static TGISDrawing* view = MakePlanView(TSamplePlanSize::Small);
    return *view;
}

void Counters(benchmark::State& state, TGISDrawing& view) {
    std::int64_t objects = 0;
    for (int i = 0; i < view.Layers().GetCount(); ++i) objects += view.Layers().GetItem(i)->GetObjectCount();
    state.counters["layers"] = view.Layers().GetCount();
    state.counters["objects"] = static_cast<double>(objects);
}

void Threaded(benchmark::State& state, TGISDrawing& view) {
    view.SetSeparatedDrawThread(true);
    for (auto _ : state) {
        view.Redraw();
        while (view.Layers().GetRedrawing()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        benchmark::DoNotOptimize(view.Image().constBits());
    }
    view.SetSeparatedDrawThread(false);
    Counters(state, view);
}

void Direct(benchmark::State& state, TGISDrawing& view) {
    view.SetSeparatedDrawThread(false);
    for (auto _ : state) {
        view.Redraw();
        benchmark::DoNotOptimize(view.Image().constBits());
    }
    Counters(state, view);
}

void BM_RedrawPlanThreads_ours(benchmark::State& state) { Threaded(state, PlanView()); }
void BM_RedrawPlanThreads_peer(benchmark::State& state) { Direct(state, PlanView()); }
void BM_RedrawSmallPlanThreads_ours(benchmark::State& state) { Threaded(state, SmallPlanView()); }
void BM_RedrawSmallPlanThreads_peer(benchmark::State& state) { Direct(state, SmallPlanView()); }

}  // namespace

BENCHMARK(BM_RedrawPlanThreads_ours)->Name("BM_RedrawPlanThreads/ours")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RedrawPlanThreads_peer)->Name("BM_RedrawPlanThreads/peer")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RedrawSmallPlanThreads_ours)->Name("BM_RedrawSmallPlanThreads/ours")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RedrawSmallPlanThreads_peer)->Name("BM_RedrawSmallPlanThreads/peer")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
