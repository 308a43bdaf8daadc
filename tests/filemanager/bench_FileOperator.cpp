// Paste worker against two anchors on the same trees and the same disk: "cp -r" followed by
// "sync", and "rsync -r --fsync", which flushes each file as the paste does. Each measurement
// copies into a new folder, after everything was flushed; each of the three ends with the
// paste's own write-back wait, one pass of it (sync and the two meminfo reads: the bench
// root's "/proc/meminfo" reads clean, where on a shared machine the real one seldom does).
// The methods take turns round after round, so that other work on the machine weighs on all
// alike; the summary gives each method's median and range and the ratios of the medians.
// Built with the tests, run by hand (not a CTest test):
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
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char *const MethodNames[] = {"paste", "cp -r + sync", "rsync -r --fsync"};
const char *const TreeNames[] = {"4 files of 32 MiB", "3000 files of 4 KiB in 20 folders"};
const char *const Sources[] = {"/ORBELIN/large", "/ORBELIN/small"};

std::unique_ptr<TestRoot> s_Root;

void makeTrees()
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131) >> 3);
    for (int f = 0; f < 4; ++f)
        s_Root->writeFile(QStringLiteral("/ORBELIN/large/image%1.tif").arg(f), block.repeated(32));
    for (int d = 0; d < 20; ++d) {
        for (int f = 0; f < 150; ++f)
            s_Root->writeFile(QStringLiteral("/ORBELIN/small/run%1/%2_TAG.tif").arg(d).arg(f),
                              block.left(4096));
    }
}

bool copyTree(int tree, int method, const QString &destination)
{
    if (method == 0) {
        FileOperator worker;
        worker.setData(file_operations_t{0, {QString::fromLatin1(Sources[tree])}});
        worker.setDst(QFileInfo(destination));
        bool completed = false;
        QObject::connect(&worker, &FileOperator::signalCompleted, &worker,
                         [&completed]() { completed = true; }, Qt::DirectConnection);
        worker.start();
        worker.wait();
        return completed;
    }
    const QStringList options = method == 1 ? QStringList{"-r"} : QStringList{"-r", "--fsync"};
    const bool ok = ExternalProgram::run(method == 1 ? "cp" : "rsync", options + QStringList{
        s_Root->path(Sources[tree]), s_Root->path(destination)}, -1).ok();
    FileOperator::waitForWriteBack();
    return ok;
}

// Each run's time in ms by tree and method, for the summary.
std::map<std::pair<int, int>, std::vector<double>> s_Times;

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
        const bool ok = copyTree(tree, method, destination);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (ok)
            s_Times[{tree, method}].push_back(double(clock.nsecsElapsed()) / 1e6);
        else
            state.SkipWithError("the copy failed");
    }
}

double median(const std::vector<double> &t)
{
    return t.empty() ? 0 : (t[(t.size() - 1) / 2] + t[t.size() / 2]) / 2;
}

void printSummary()
{
    for (auto &entry : s_Times)
        std::sort(entry.second.begin(), entry.second.end());
    for (int tree = 0; tree < 2; ++tree) {
        std::printf("%s:\n", TreeNames[tree]);
        for (int method = 0; method < 3; ++method) {
            const std::vector<double> &t = s_Times[{tree, method}];
            if (!t.empty())
                std::printf("  %-18s median %8.0f ms  range %8.0f .. %8.0f ms  (%zu runs)\n",
                            MethodNames[method], median(t), t.front(), t.back(), t.size());
        }
        for (int anchor = 1; anchor < 3; ++anchor) {
            if (median(s_Times[{tree, anchor}]) > 0)
                std::printf("  paste / %-18s %.2f\n", MethodNames[anchor],
                            median(s_Times[{tree, 0}]) / median(s_Times[{tree, anchor}]));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);     // the media monitor is a widget
    const int rounds = argc > 1 && argv[1][0] != '-' ? std::max(1, std::atoi(argv[1])) : 5;
    s_Root.reset(new TestRoot);
    Volumes volumes(*s_Root, {});
    makeTrees();

    // Registered round by round, so the methods alternate, and each round starts with the
    // next method, so none is always the first after a tree.
    for (int round = 0; round < rounds; ++round) {
        for (int tree = 0; tree < 2; ++tree) {
            for (int turn = 0; turn < 3; ++turn) {
                const int method = (turn + round) % 3;
                const std::string name = std::string(TreeNames[tree]) + " / "
                    + MethodNames[method] + " / round " + std::to_string(round + 1);
                benchmark::RegisterBenchmark(name.c_str(), measure, tree, method)
                    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printSummary();
    return 0;
}
