#pragma once

#include "CSVReaderWriter.h"
#include "CountingManager.h"
#include "MetaTypes.h"
#include "ORBELIN_Vn.h"
#include "SaveOptionsDialog.h"

#include <QFrame>
#include <QVector>
#include <string>

class QDateTime;
class Ui_CountFrame;

// The Count menu screen. It keeps the results log "/root/ORBELIN_Vn/CountingResults.csv"
// (one row per count, newest last, at most 1000 rows), the light table and the save
// options, ejects the slide, and owns the counting run with the fields' cell counters:
// a re-analysis of a save folder shows its progress here, then the totals.
class CountFrame : public QFrame
{
    Q_OBJECT

public:
    // Light steps offered to the user; the calibrated LED level is the middle one.
    static constexpr int LightSteps = 10;

    explicit CountFrame(QWidget *parent = nullptr);
    ~CountFrame() override;

    // Start-up with a controller board: slide to its first field, results log, light
    // table, save options, scale bar.
    void initialize();
    // Camera and serial link released before the program ends.
    void terminate();
    // True while the live camera view runs.
    bool isLiveView() const;
    // The eject button's action: "$X#STAGE EJECT", tried three times; a failure is shown.
    void slideEject();

    // Appends a count's row to the results log, writes the log and tells the review screen.
    bool appendResultsLog(const std::string &row);
    // Names the newest row after the save folder (its last component) once it is saved.
    bool setSavedName(const QString &saveFolder);
    std::vector<std::string> resultsLog() const { return m_ResultsLog.csv(); }

    // The LED level (0-100) of light step 1 to LightSteps.
    int lightLevel(int step) const;
    QVector<int> lightTable() const { return m_LightTable; }
    SaveOptions saveOptions() const { return m_SaveOptions; }
    // The save folder whose raw images were last asked to be analysed again.
    QString analysisRequest() const { return m_AnalysisFolder; }
    const CountingManager &countingManager() const { return m_CountingManager; }

    // The results-log row of a count: name (empty until saved), date and time, cells,
    // concentration, mean size, protocol, then cells and concentration of each field
    // (left empty for a field that could not be counted).
    static std::string resultsLogRow(const counting_results_t &results, const QString &protocol,
                                     const QDateTime &when);

public Q_SLOTS:
    // Counts the cells of the save folder's raw images again with the current protocol.
    void slotAnalysis(const QString &folder);
    // The counting run has finished: totals on the screen, a row in the results log.
    void slotCountingCompleted();
    void slotCSVRemoved();
    void slotCreateLightTable();
    void slotSaveOptionChanged();
    void slotEnableScaleBarDisplay(bool enable);

Q_SIGNALS:
    void signalWidgetEnabled(bool enabled);
    void signalAppendCSVData(std::string line);
    void signalFilenameReplaced(const QString &name);

private Q_SLOTS:
    void on_BUTTON_EJECT_clicked();
    void slotCountingProgress(int done, int total);

private:
    void loadResultsLog();
    void setCounting(bool counting);
    void showTotals(const counting_results_t &results, const QString &protocol);

    Ui_CountFrame *ui;
    CSVReaderWriter m_ResultsLog;
    QVector<int> m_LightTable;
    SaveOptions m_SaveOptions;
    QString m_AnalysisFolder;
    // The counters outlive the run that uses them.
    ORBELIN_Vn m_Counters[CountingManager::MaxFields];
    CountingManager m_CountingManager;
};
