#pragma once

#include "CellCountingThread.h"
#include "ORBELIN_Vn.h"
#include "counting_results_t.h"
#include "protocol_param_t.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QVector>

// The counting run and the holder of the last count's results. Its thread loads the
// field images and starts one CellCountingThread per field, at most four at once; the
// per-field results come back to the object itself, on the GUI thread, where the totals,
// the size histogram and the concentration are made and signalCountingCompleted goes out.
class CountingManager : public QThread
{
    Q_OBJECT

public:
    static constexpr int MaxFields = 20;
    static constexpr int MaxAnalysisThreads = 4;
    // Depth of the counting slide's chamber, um: with the frame's area it gives the
    // volume of one field when the images do not carry it.
    static constexpr float ChamberDepth = 100.0f;

    explicit CountingManager(QObject *parent = nullptr);
    ~CountingManager() override;

    // The cell counters of the fields (the count screen owns them; at most MaxFields are
    // used). Not while a count runs.
    void setCounters(ORBELIN_Vn *counters, int count);
    ORBELIN_Vn *counters() const { return m_Counters; }
    // Fields of the last count.
    int countingField() const { return int(m_Results.fields.size()); }

    // Counts the cells of the raw images of a save folder (instrument path): every
    // "NN_RAW.tif", in the order of NN, with the current protocol. False, with the reason
    // for the user, when a count runs, there are no counters or the folder has no raw image.
    bool startReAnalysis(const QString &folder, QString *error = nullptr);
    bool isCounting() const { return m_Counting; }

    counting_results_t results() const { return m_Results; }
    protocol_param_t protocol_param() const;
    // Most analyses that ran at once during the last count.
    int peakAnalysisThreads() const { return m_Places.peak; }

    // The current protocol: "DEFAULT" is the built-in values, any other name its file in
    // the protocol folder, a missing file or key giving the built-in value.
    static protocol_param_t readCurrentProtocol();
    // The analysis constants for a protocol's sizes, roundness and levels.
    static analysis_param_t analysisParameters(const protocol_param_t &protocol);
    // Slide volume in mL seen by a frame of width x height pixels of pixelSize um.
    static float defaultVolumeFactor(int width, int height, float pixelSize);

Q_SIGNALS:
    // Fields finished (counted or found unusable) of all fields of the count.
    void signalProgress(int done, int total);
    void signalCountingCompleted();

private Q_SLOTS:
    void slotCellCountingCompleted(int index, bool ok);

protected:
    void run() override;

private:
    struct FieldFile
    {
        int number;
        QString name;
    };

    void doReAnalysis();
    bool loadField(int index, const FieldFile &file, const protocol_param_t &protocol,
                   cv::Size &frameSize, int &frameDepth, QString *problem);
    void fieldUnusable(int index, const QString &problem);
    void fieldDone();
    void slotRunFinished();
    void complete();

    ORBELIN_Vn *m_Counters = nullptr;
    int m_CounterCount = 0;
    analysis_places_t m_Places{MaxAnalysisThreads};

    // Set on the GUI thread before the run starts; the run only reads them.
    QString m_Folder;
    QVector<FieldFile> m_Files;

    mutable QMutex m_ProtocolMutex;
    protocol_param_t m_Protocol;

    // GUI thread only.
    counting_results_t m_Results;
    bool m_Counting = false;
    bool m_RunDone = false;
    int m_Done = 0;
};
