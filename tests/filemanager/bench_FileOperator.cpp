// Paste worker against two anchors on the same trees and the same disk: "cp -r" followed by
// "sync", and "rsync -r --fsync", which flushes each file as the paste does. Each measurement
// copies into a new folder, after everything was flushed; each of the three ends
// with the paste's own write-back wait, one pass of it (sync and the two meminfo reads: the
// bench root's "/proc/meminfo" reads clean, where on a shared machine the real one seldom
// does). The methods take turns round after round, so that other work on the machine
// weighs on all alike; the summary gives each method's median and range and the ratios of
// the medians. Built with the tests, run by hand (not a CTest test):
//   build/tests/filemanager/bench_fileoperator [rounds, 5 by default]
#include "ExternalProgram.h"
#include "FileOperator.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

enum Method { Paste, CpAndSync, Rsync, MethodCount };
const char *const MethodNames[] = {"paste", "cp -r + sync", "rsync -r --fsync"};
const char *const TreeNames[] = {"4 files of 32 MiB", "3000 files of 4 KiB in 20 folders"};

std::unique_ptr<TestRoot> s_Root;

QString source(int tree)
{
    return tree == 0 ? QStringLiteral("/ORBELIN/large") : QStringLiteral("/ORBELIN/small");
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

bool pasteTree(int tree, const QString &destination)
{
    FileOperator worker;
    file_operations_t data;
    data.paths = QStringList{source(tree)};
    worker.setData(data);
    worker.setDst(QFileInfo(destination));
    bool completed = false;
    QObject::connect(&worker, &FileOperator::signalCompleted, &worker,
                     [&completed]() { completed = true; }, Qt::DirectConnection);
    worker.start();
    worker.wait();
    return completed;
}

bool runAnchor(const QString &program, const QStringList &options, int tree,
               const QString &destination)
{
    const bool ok = ExternalProgram::run(program, options + QStringList{
        s_Root->path(source(tree)), s_Root->path(destination)}, -1).ok();
    FileOperator::waitForWriteBack();
    return ok;
}

void measure(benchmark::State &state, int tree, int method)
{
    for (auto _ : state) {
        // A new folder each time: removing the last copy would leave the disk busy freeing
        // (and, mounted with discard, trimming) its blocks while the next one is timed.
        static int copies = 0;
        const QString destination = QStringLiteral("/ORBELIN/dst/%1").arg(++copies);
        QDir().mkpath(s_Root->path(destination));
        ::sync();
        QElapsedTimer clock;
        clock.start();
        bool ok = false;
        if (method == Paste)
            ok = pasteTree(tree, destination);
        else if (method == CpAndSync)
            ok = runAnchor(QStringLiteral("cp"), {QStringLiteral("-r")}, tree, destination);
        else
            ok = runAnchor(QStringLiteral("rsync"),
                           {QStringLiteral("-r"), QStringLiteral("--fsync")}, tree, destination);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!ok)
            state.SkipWithError("the copy failed");
    }
}

// Collects each run's time by tree and method for the summary.
class Summary : public benchmark::ConsoleReporter
{
public:
    std::map<std::pair<int, int>, std::vector<double>> times;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const std::string name = run.benchmark_name();
            const int tree = name[0] - '0';
            const int method = name[2] - '0';
            if (!run.error_occurred)
                times[{tree, method}].push_back(run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double median(int tree, int method)
    {
        std::vector<double> &t = times[{tree, method}];
        if (t.empty())
            return 0;
        std::sort(t.begin(), t.end());
        return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
    }

    void print()
    {
        for (int tree = 0; tree < 2; ++tree) {
            std::printf("%s:\n", TreeNames[tree]);
            for (int method = 0; method < MethodCount; ++method) {
                const std::vector<double> &t = times[{tree, method}];
                if (t.empty())
                    continue;
                std::printf("  %-18s median %8.0f ms  range %8.0f .. %8.0f ms  (%zu runs)\n",
                            MethodNames[method], median(tree, method),
                            *std::min_element(t.begin(), t.end()),
                            *std::max_element(t.begin(), t.end()), t.size());
            }
            for (int anchor = CpAndSync; anchor < MethodCount; ++anchor) {
                if (median(tree, anchor) > 0)
                    std::printf("  paste / %-18s %.2f\n", MethodNames[anchor],
                                median(tree, Paste) / median(tree, anchor));
            }
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);     // the media monitor is a widget
    const int rounds = argc > 1 && argv[1][0] != '-' ? std::max(1, std::atoi(argv[1])) : 5;
    s_Root.reset(new TestRoot);
    std::unique_ptr<Volumes> volumes(new Volumes(*s_Root, {}));
    makeTrees();

    // Names are "<tree>/<method>/<round>"; registered round by round, so the methods alternate,
    // and each round starts with the next method, so none is always the first after a tree.
    for (int round = 0; round < rounds; ++round) {
        for (int tree = 0; tree < 2; ++tree) {
            for (int turn = 0; turn < MethodCount; ++turn) {
                const int method = (turn + round) % MethodCount;
                const std::string name = std::to_string(tree) + '/' + std::to_string(method) + '/'
                    + std::to_string(round);
                benchmark::RegisterBenchmark(name.c_str(), measure, tree, method)
                    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    summary.print();
    volumes.reset();
    s_Root.reset();
    return 0;
}
