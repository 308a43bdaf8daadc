#pragma once

#include <QFrame>

class QLineEdit;
class QtSerialPort;
class QWidget;
class Ui_SettingsFrame;

// True for the leap years of the Gregorian calendar.
bool checkLeapMonth(int year);

// The Settings menu screen: calibration and software status, the option dialogs, the
// calibration and software update, and the date and time entry with its own key pad.
// Four day values above 31 typed into the date start service actions instead of setting
// the clock (see ServiceDay).
class SettingsFrame : public QFrame
{
    Q_OBJECT

public:
    // Day values of the date entry that start a service action.
    enum ServiceDay {
        ServiceDayExit = 91,                // end the program (status 1)
        ServiceDayDemo = 92,                // install or run the demo program (status 11)
        ServiceDayDebugCalibration = 93,    // calibration debug images on / off
        ServiceDayDebugAutofocus = 94,      // autofocus debug images on / off
    };

    // Exit statuses for the launcher.
    enum ExitStatus { ExitStop = 1, ExitRestart = 10, ExitDemo = 11 };

    // Bound of each run of date and hwclock.
    static constexpr int ClockProgramTimeoutMs = 30000;

    explicit SettingsFrame(QWidget *parent = nullptr);
    ~SettingsFrame() override;

    // Entering the Settings menu: the edits show the clock again and the key pad waits
    // until an edit is touched.
    void initialize();

    // One controller command, tried up to three times until the board answers OK; the
    // second form also needs a number in the reply, stored in value.
    bool sendToController(const QString &command, unsigned int timeoutMs);
    bool sendToController(const QString &command, int &value, unsigned int timeoutMs);

    // Set when the slide was ejected after a calibration; the main window passes the
    // eject on to the count screen when it is shown next.
    static void SetSlideEjection(bool ejected);
    static bool slideEjection();

    // Fills the five edits from the current date and time.
    void restoreDateTimeUI();
    // Types one key into the edit that last had the focus.
    void inputKey(int key);

    // The version shown for a program file: "ORBELIN_Vn_1_0_3" gives "1.0.3", a name
    // ending in "IQOQ" adds "-IQOQ". A link is followed once.
    static QString softwareVersionText(const QString &programPath);
    // Reference position, slope, light level and the exposure of the lens, as stored.
    static QString calibratedValuesText();

    // True while the clock tick refills the edits (nothing typed since).
    bool autoDisplay() const { return m_AutoDisplay; }
    bool securityMode() const { return m_SecurityMode; }

public Q_SLOTS:
    void slotUpdateCurrentDateTime();
    void slotEnableSecurityMode(bool on);

Q_SIGNALS:
    void signalCalibrationCompleted();
    void signalSaveOptionChanged();
    void signalTerminate();
    void signalForceUpdateDateTime();
    void signalEnableScaleBarDisplay(bool enable);
    void signalEnableSecurityMode(bool enable);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_COUNITNG_OPTIONS_clicked();
    void on_BUTTON_SAVE_OPTIONS_clicked();
    void on_BUTTON_REVIEW_OPTIONS_clicked();
    void on_BUTTON_WIFI_OPTIONS_clicked();
    void on_BUTTON_SECURITY_OPTIONS_clicked();
    void on_BUTTON_SYSTEM_INFORMATION_clicked();
    void on_BUTTON_CALIBRATE_clicked();
    void on_BUTTON_UPDATE_SOFTWARE_clicked();
    void on_BUTTON_SET_DATE_TIME_clicked();
    void on_BUTTON_KEY_0_clicked();
    void on_BUTTON_KEY_1_clicked();
    void on_BUTTON_KEY_2_clicked();
    void on_BUTTON_KEY_3_clicked();
    void on_BUTTON_KEY_4_clicked();
    void on_BUTTON_KEY_5_clicked();
    void on_BUTTON_KEY_6_clicked();
    void on_BUTTON_KEY_7_clicked();
    void on_BUTTON_KEY_8_clicked();
    void on_BUTTON_KEY_9_clicked();
    void on_BUTTON_KEY_BACKSPACE_clicked();

private:
    QList<QLineEdit *> dateTimeEdits() const;
    QList<QWidget *> securityLockedWidgets() const;
    void fillStatusLabels();
    // Ends the program for the launcher; the screen stays disabled.
    void terminate(int status);
    void dateTimeRejected(int messageType, QLineEdit *edit);
    bool setClocks(int year, int month, int day, int hour, int minute);
    // Installs or starts the demo program; false when there is none to start.
    bool runDemoProgram();
    void switchDebugMode(const char *key, const QString &folder, int enabledMessage,
                         int disabledMessage);
    // Takes the serial link, ejects the slide and lets the link go again.
    bool ejectSlide();

    Ui_SettingsFrame *ui;
    bool m_SecurityMode = false;
    bool m_AutoDisplay = false;
    QtSerialPort *m_Serial = nullptr;    // not owned: the process-wide link

    static bool s_SlideEjected;
};
