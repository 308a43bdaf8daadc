#pragma once

#include <QFrame>

// The Settings menu screen.
class SettingsFrame : public QFrame
{
    Q_OBJECT

public:
    explicit SettingsFrame(QWidget *parent = nullptr);
    ~SettingsFrame() override;

    void initialize();

    // Set when the settings screen ejected the slide; the count screen ejects it again
    // when it is shown next.
    static void SetSlideEjection(bool ejected);
    static bool slideEjection();

public Q_SLOTS:
    void slotUpdateCurrentDateTime(const QString &date, const QString &time);
    void slotEnableSecurityMode(bool enable);

Q_SIGNALS:
    void signalCalibrationCompleted();
    void signalSaveOptionChanged();
    void signalTerminate();
    void signalForceUpdateDateTime();
    void signalEnableScaleBarDisplay(bool enable);
    void signalEnableSecurityMode(bool enable);

private:
    static bool s_SlideEjected;
};
