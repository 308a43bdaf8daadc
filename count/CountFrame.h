#pragma once

#include "CSVReaderWriter.h"
#include "MetaTypes.h"
#include "SaveOptionsDialog.h"

#include <QFrame>
#include <QVector>
#include <string>

class Ui_CountFrame;

// The Count menu screen. It keeps the results log "/root/ORBELIN_Vn/CountingResults.csv"
// (one row per count, newest last, at most 1000 rows), the light table and the save
// options, and ejects the slide.
class CountFrame : public QFrame
{
    Q_OBJECT

public:
    // Light steps offered to the user; the calibrated LED level is the middle one.
    static const int LightSteps = 10;

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

public Q_SLOTS:
    void slotAnalysis(const QString &folder);
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

private:
    void loadResultsLog();

    Ui_CountFrame *ui;
    CSVReaderWriter m_ResultsLog;
    QVector<int> m_LightTable;
    SaveOptions m_SaveOptions;
    QString m_AnalysisFolder;
};
