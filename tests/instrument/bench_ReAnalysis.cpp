// Re-analysis of a ten-field save folder of 1280x960 frames (about 170 yeast-like cells,
// touching clusters of two and three, debris, fibres, out-of-focus blobs and elongated
// shapes per field), and the analysis of one field alone. Built with the tests, run by
// hand (not a CTest test):
//   build/tests/instrument/bench_reanalysis
#include "CountingManager.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QString Folder = QStringLiteral("/ORBELIN/bench");
const int Fields = 10;

std::unique_ptr<TestRoot> s_Root;

// Load, analyse and collect all ten fields, four analyses at once.
void BM_ReAnalysis(benchmark::State &state)
{
    std::vector<ORBELIN_Vn> counters(CountingManager::MaxFields);
    CountingManager manager;
    manager.setCounters(counters.data(), int(counters.size()));
    QEventLoop loop;
    QObject::connect(&manager, &CountingManager::signalCountingCompleted, &loop,
                     &QEventLoop::quit);
    for (auto _ : state) {
        if (!manager.startReAnalysis(Folder)) {
            state.SkipWithError("the re-analysis did not start");
            return;
        }
        loop.exec();
    }
    benchmark::DoNotOptimize(manager.results().count);
    state.counters["cells"] = manager.results().count;
    // Wall time of one field's share of the whole run.
    state.counters["field"] = benchmark::Counter(
        Fields, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReAnalysis)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// One field's analysis in one thread, without loading.
void BM_FindObject(benchmark::State &state)
{
    const SyntheticField field{SyntheticField::Options()};
    ORBELIN_Vn counter;
    counter.setImage(Tesmora::GFL, field.image());
    const analysis_param_t param =
        CountingManager::analysisParameters(CountingManager::readCurrentProtocol());
    for (auto _ : state)
        counter.findObject(param);
    state.counters["cells"] = double(counter.objects().size());
}
BENCHMARK(BM_FindObject)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    s_Root = std::make_unique<TestRoot>();
    // The protocol both benchmarks count with: 2 to 12 um.
    s_Root->writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Current Protocol]\nName=Yeast\n");
    s_Root->writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini",
                      "[Min Cell Size]\nSize=2\n[Max Cell Size]\nSize=12\n");
    std::vector<SyntheticField::Options> fields(Fields);
    for (int i = 0; i < Fields; ++i)
        fields[size_t(i)].seed = unsigned(i + 1);
    if (!SyntheticField::writeSaveFolder(
            Folder, fields, QStringLiteral("Instrument=ORBELIN_Vn,Volume factor=1.728e-05"))) {
        fprintf(stderr, "cannot write the save folder\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_Root.reset();
    return 0;
}
