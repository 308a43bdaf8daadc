#pragma once

#include <QString>
#include <QThread>

// Numbered outcomes of a calibration run.
enum CalibrationError {
    CALIBRATION_OK = 0,
    CALIBRATION_NO_BOARD = 1,          // no controller board answered
    CALIBRATION_FOCUS_HOME = 2,        // the focus stage did not reach its home switch
    CALIBRATION_FOCUS_REFERENCE = 3,   // no focus reference reported
    CALIBRATION_FOCUS_SLOPE = 4,       // no stage tilt reported
    CALIBRATION_LIGHT = 5,             // no LED level reported, or the LED stayed on
    CALIBRATION_OUT_OF_RANGE = 6,      // a reported value is not plausible
    CALIBRATION_CANCELED = 7,
};

// The calibration run, in its own thread with its own serial link:
//   1. "$Z#STAGE INIT"  focus stage to its home switch
//   2. "$Z#REF"         the board reports the focus reference position (steps)
//   3. "$Z#SLOPE"       the board reports the stage tilt (steps per field)
//   4. "$A#LIGHT CAL"   the board sets the LED to the target brightness, reports the level
//   5. "$A#LED 0"       LED off
// Each command is tried three times. Only a run whose every step succeeded writes the
// results into the settings file ("Calibration" "Value", "Last Update", the exposures,
// "Reference position" "Value" and "Slope").
class Calibrater : public QThread
{
    Q_OBJECT

public:
    static constexpr int Steps = 5;

    explicit Calibrater(QObject *parent = nullptr);
    ~Calibrater() override;

    static QString describe(int error);

Q_SIGNALS:
    void signalProgress(int step, int steps, const QString &text);
    // The run ended with a CalibrationError.
    void signalCalibrationCompleted(int error);

protected:
    void run() override;

private:
    int calibrate();
};
