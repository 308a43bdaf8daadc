#pragma once

#include "MetaTypes.h"

#include <QFrame>
#include <string>

// The Count menu screen.
class CountFrame : public QFrame
{
    Q_OBJECT

public:
    explicit CountFrame(QWidget *parent = nullptr);
    ~CountFrame() override;

    // Start-up with a controller board.
    void initialize();
    // Camera and serial link released before the program ends.
    void terminate();
    // True while the live camera view runs.
    bool isLiveView() const;
    void slideEject();

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
};
