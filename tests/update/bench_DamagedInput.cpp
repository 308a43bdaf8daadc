// Time and memory on damaged or crafted input: an update package of a million members, a
// settings file of section names never closed, a results log holding one huge row. Each
// case reports the process's peak resident memory after it (peak_MiB); run one case per
// process for a figure of its own. Built with the tests, run by hand (not a CTest test):
//   build/tests/update/bench_damagedinput --benchmark_filter=Settings
#include "CSVReaderWriter.h"
#include "PackageMaker.h"
#include "PrivateProfile.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "TestRoot.h"

#include <QApplication>
#include <QDir>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <memory>
#include <sys/resource.h>

namespace {

const QString Package = QStringLiteral("/media/STICK/ORBELIN_Vn_1_0_4.ovn");
const QString ProgramFolder = QStringLiteral("/root/ORBELIN_Vn");

std::unique_ptr<TestRoot> s_Root;

double peakMiB()
{
    rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;
}

void reportPeak(benchmark::State &state)
{
    state.counters["peak_MiB"] = peakMiB();
}

// Empty files at the top and, last, a folder: refused, but only once the listing shows it.
// Streamed through gzip in parts, so the tar is never held whole.
void writeManyMembers(const QString &path, int members)
{
    QDir().mkpath(QFileInfo(path).path());
    QProcess gzip;
    gzip.setStandardOutputFile(path);
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    const int part = 10000;
    for (int first = 0; first < members - 1; first += part) {
        QList<TarMember> files;
        for (int i = first; i < qMin(members - 1, first + part); ++i)
            files << TarMember::file("f" + QByteArray::number(i), QByteArray());
        gzip.write(PackageMaker::tar(files).chopped(1024));
        while (gzip.bytesToWrite() > 0 && gzip.waitForBytesWritten(-1)) {
        }
    }
    gzip.write(PackageMaker::tar({TarMember::folder("Protocol/")}));
    gzip.closeWriteChannel();
    gzip.waitForFinished(-1);
}

void BM_UpdatePackageOfManyMembers(benchmark::State &state)
{
    writeManyMembers(s_Root->path(Package), int(state.range(0)));
    state.counters["before_MiB"] = peakMiB();
    for (auto _ : state) {
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, ProgramFolder,
                                               "ORBELIN_Vn_1_0_3.ovn");
        updater.start();
        updater.wait();
        if (updater.error() != InvalidUpdateFile)
            state.SkipWithError("the package was not refused");
    }
    reportPeak(state);
}
BENCHMARK(BM_UpdatePackageOfManyMembers)->Arg(1000000)->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kSecond);

void BM_ReadDamagedSettings(benchmark::State &state)
{
    const QByteArray damaged = "[" + QByteArray(30, 'x') + "\n";
    s_Root->writeFile("/root/d.ini", "[Security]\nEnable=True\n" + damaged.repeated(int(state.range(0))));
    for (auto _ : state) {
        std::string value;
        ReadPrivateProfileString("Security", "Enable", "False", value, "/root/d.ini");
        benchmark::DoNotOptimize(value);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadDamagedSettings)->RangeMultiplier(2)->Range(10000, 80000)->UseRealTime()
    ->Unit(benchmark::kMillisecond)->Complexity();

// As the review screen reads the log: the rows, each split into its fields.
void BM_ReadLogWithOneHugeRow(benchmark::State &state)
{
    const QString log = QStringLiteral("/root/ORBELIN_Vn/CountingResults.csv");
    QFile file(s_Root->path(log));
    QDir().mkpath(QFileInfo(file).path());
    file.open(QIODevice::WriteOnly);
    file.write("H\nA,1\n");
    const QByteArray block(1 << 20, ',');
    for (int i = 0; i < state.range(0); ++i)
        file.write(block);
    file.write("\nB,2");
    file.close();
    state.counters["before_MiB"] = peakMiB();
    for (auto _ : state) {
        CSVReaderWriter table(1001, "%s", "H");
        table.read(log.toUtf8().constData());
        std::vector<std::string> fields;
        for (const std::string &row : table.csv())
            CSVReaderWriter::parse(row, fields);
        benchmark::DoNotOptimize(fields);
    }
    reportPeak(state);
}
BENCHMARK(BM_ReadLogWithOneHugeRow)->Arg(100)->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    s_Root.reset(new TestRoot);
    s_Root->writeFile(ProgramFolder + "/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    s_Root.reset();
    return 0;
}
