// Puts saved counts and a results log into the data root named by ORBELIN_ROOT, for the
// desktop run. Keeps what is there already.
// Usage: make-sample-data [STICK_FOLDER]   (an instrument path, e.g. /sticks/sdb1)
#include "CountingManager.h"
#include "SampleData.h"
#include "SyntheticField.h"
#include "SystemPaths.h"

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool exists(const QString &path)
{
    return QFileInfo::exists(SystemPaths::map(path));
}

bool folder(const QString &path, const QVector<SampleData::Field> &fields)
{
    if (exists(path))
        return true;
    if (!SampleData::writeSaveFolder(path, fields)) {
        std::fprintf(stderr, "make-sample-data: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

// Ten yeast-like frames as the camera would give them, to count again with RE-ANALYSIS.
bool syntheticCount(const QString &path)
{
    if (exists(path))
        return true;
    std::vector<SyntheticField::Options> fields;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        SyntheticField::Options o;
        o.cells = 100 + int(seed * 7 % 40);
        o.pairs = 10;
        o.debris = 25;
        o.elongated = 6;
        o.seed = seed;
        fields.push_back(o);
    }
    protocol_param_t yeast;
    yeast.minCellSize = 2.0f;
    yeast.maxCellSize = 12.0f;
    if (!SyntheticField::writeSavedCount(path, fields, CountingManager::analysisParameters(yeast),
                                         CountingManager::defaultVolumeFactor(1280, 960, 0.375f),
                                         10)) {
        std::fprintf(stderr, "make-sample-data: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Painting the images needs fonts, so a GUI application (offscreen when no display).
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (SystemPaths::root().isEmpty()) {
        std::fprintf(stderr, "make-sample-data: ORBELIN_ROOT is not set\n");
        return 2;
    }
    using SampleData::typicalCount;
    const auto yeast = typicalCount(180, 5.2f, 2);
    const auto cho = typicalCount(95, 13.8f, 4);
    const auto ecoli = typicalCount(420, 1.6f, 100);
    bool ok = folder("/ORBELIN/Yeast_0302", yeast)
              && folder("/ORBELIN/Experiments/CHO_day3", cho)
              && syntheticCount("/ORBELIN/Yeast_camera");

    if (ok && !exists(SystemPaths::resultsLogFile())) {
        ok = SampleData::writeResultsLog({
            SampleData::resultsLogRow("", "2026-02-27 09:12:40", typicalCount(60, 4.1f, 1)),
            SampleData::resultsLogRow("Yeast_0302", "2026-03-02 10:05:13", yeast, "Yeast"),
            SampleData::resultsLogRow("CHO_day3", "2026-03-03 15:40:02", cho, "CHO"),
            SampleData::resultsLogRow("Ecoli_stick", "2026-03-04 11:21:55", ecoli, "Bacteria"),
        });
    }

    const QString stick = app.arguments().value(1);
    if (ok && !stick.isEmpty()) {
        ok = folder(stick + "/Ecoli_stick", ecoli);
        // A count whose third annotated image was cut short on the way.
        const QString damaged = stick + "/Damaged_run";
        if (ok && !exists(damaged)) {
            ok = SampleData::writeSaveFolder(damaged, typicalCount(150, 6.0f, 2, 4));
            QFile image(SystemPaths::map(damaged + "/03_TAG.tif"));
            ok = ok && image.resize(image.size() / 3);
            // Its second raw image too: a re-analysis leaves that field out and says so.
            QFile raw(SystemPaths::map(damaged + "/02_RAW.tif"));
            ok = ok && raw.resize(raw.size() / 3);
        }
    }
    return ok ? 0 : 1;
}
