// Paste worker against "cp -r" followed by "sync" on the same trees: a few large files, and
// thousands of small ones. Built with the tests, run by hand (not a CTest test):
//   build/tests/filemanager/bench_fileoperator
#include "ExternalProgram.h"
#include "FileOperator.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

enum Tree { LargeFiles = 0, SmallFiles = 1 };

std::unique_ptr<TestRoot> s_Root;
std::unique_ptr<Volumes> s_Volumes;

QString source(int tree)
{
    return tree == LargeFiles ? QStringLiteral("/ORBELIN/large") : QStringLiteral("/ORBELIN/small");
}

void makeTrees()
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131) >> 3);
    for (int f = 0; f < 4; ++f) {
        QFile file(s_Root->path(QStringLiteral("/ORBELIN/large/image%1.tif").arg(f)));
        QDir().mkpath(QFileInfo(file).absolutePath());
        file.open(QIODevice::WriteOnly);
        for (int mb = 0; mb < 32; ++mb)
            file.write(block);
    }
    const QByteArray small = block.left(4096);
    for (int d = 0; d < 20; ++d) {
        for (int f = 0; f < 150; ++f)
            s_Root->writeFile(QStringLiteral("/ORBELIN/small/run%1/%2_TAG.tif").arg(d).arg(f), small);
    }
}

void clearDestination()
{
    QDir(s_Root->path(QStringLiteral("/ORBELIN/dst"))).removeRecursively();
    QDir().mkpath(s_Root->path(QStringLiteral("/ORBELIN/dst")));
}

void BM_PasteWorker(benchmark::State &state)
{
    const int tree = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        clearDestination();
        state.ResumeTiming();
        FileOperator worker;
        file_operations_t data;
        data.paths = QStringList{source(tree)};
        worker.setData(data);
        worker.setDst(QFileInfo(QStringLiteral("/ORBELIN/dst")));
        bool completed = false;
        QObject::connect(&worker, &FileOperator::signalCompleted, &worker,
                         [&completed]() { completed = true; }, Qt::DirectConnection);
        worker.start();
        worker.wait();
        if (!completed)
            state.SkipWithError("paste did not complete");
    }
}

void BM_CpAndSync(benchmark::State &state)
{
    const int tree = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        clearDestination();
        state.ResumeTiming();
        const ProgramResult cp = ExternalProgram::run(
            QStringLiteral("cp"), {QStringLiteral("-r"), s_Root->path(source(tree)),
                                   s_Root->path(QStringLiteral("/ORBELIN/dst"))});
        const ProgramResult sync = ExternalProgram::run(QStringLiteral("sync"), {});
        if (!cp.ok() || !sync.ok())
            state.SkipWithError("cp or sync failed");
    }
}

BENCHMARK(BM_PasteWorker)->Arg(LargeFiles)->Arg(SmallFiles)->Iterations(3)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CpAndSync)->Arg(LargeFiles)->Arg(SmallFiles)->Iterations(3)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's time so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);     // the media monitor is a widget
    s_Root.reset(new TestRoot);
    s_Volumes.reset(new Volumes(*s_Root, {}));
    makeTrees();

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *tree : {"0", "1"}) {
        const std::string suffix = std::string("/") + tree + "/iterations:3/real_time";
        const double paste = reporter.times["BM_PasteWorker" + suffix];
        const double cp = reporter.times["BM_CpAndSync" + suffix];
        if (paste > 0 && cp > 0)
            std::printf("%s: paste worker / (cp -r + sync) = %.2f\n",
                        tree[0] == '0' ? "4 files of 32 MiB" : "3000 files of 4 KiB in 20 folders",
                        paste / cp);
    }
    s_Volumes.reset();
    s_Root.reset();
    return 0;
}
