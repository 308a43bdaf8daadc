#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Writes saved counts as the instrument leaves them, for tests and for the desktop run's
// data root: a save folder with "01_RAW.tif", "01_TAG.tif", ... written by the program's
// own TIFF writer with the metadata of a count, the save name with ".csv", and rows of
// the results log. Paths are instrument paths (mapped through SystemPaths).
namespace SampleData {

// One counting field of a saved count.
struct Field
{
    int cells = 0;
    float meanSize = 0;      // um
    float volumeFactor = 0;  // mL; 0 leaves the key out
    int dilutionFactor = 0;  // 0 leaves the key out
};

// A field with the given values (volume in mL; 0 leaves a factor out).
Field field(int cells, float meanSize = 4.0f, float volumeFactor = 0.0001f, int dilutionFactor = 2);

// The metadata string of an annotated image ("Instrument=...,Counted cell number=...").
QString metadata(const Field &field, const QString &software = QStringLiteral("ORBELIN_Vn"));

// A field image: dark background with bright round cells; the annotated one (RGB) has
// each cell ringed and numbered. Written as TIFF with the metadata; false on failure.
bool writeRawImage(const QString &path, const Field &field, int width, int height);
bool writeTagImage(const QString &path, const Field &field, int width, int height,
                   const QString &software = QStringLiteral("ORBELIN_Vn"));

// A whole save folder: per field "NN_RAW.tif" and "NN_TAG.tif" and, named after the
// folder, "<name>.csv" with one line per field. Smaller images make faster tests.
bool writeSaveFolder(const QString &folder, const QVector<Field> &fields, int width = 1280,
                     int height = 960);

// A results-log row for a count saved as name (empty: not saved) with its fields.
QString resultsLogRow(const QString &name, const QString &dateTime, const QVector<Field> &fields,
                      const QString &protocol = QStringLiteral("DEFAULT"));
// Writes the results log: the header, then the rows, newest last, no final line feed.
bool writeResultsLog(const QStringList &rows);

// A typical count: cells around the given mean per field, 10 fields, with the volume of
// one field of the counting slide and the dilution factor.
QVector<Field> typicalCount(int meanCells, float meanSize, int dilution, int fields = 10);

} // namespace SampleData
