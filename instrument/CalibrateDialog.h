#pragma once

#include "Calibrater.h"

#include <QDialog>

class Ui_CalibrateDialog;

// The modal calibration dialog. The run starts when the dialog shows, in its own thread
// with its own serial link (the caller's link is released first). The dialog ends
// accepted only by OK (or Enter) after a completed run; CANCEL or Escape stop a run and
// reject; OK after a failure rejects.
class CalibrateDialog : public QDialog
{
    Q_OBJECT

public:
    enum State { STATE_RUNNING, STATE_STOPPING, STATE_COMPLETED, STATE_FAILED };

    explicit CalibrateDialog(QWidget *parent = nullptr);
    ~CalibrateDialog() override;

    State state() const { return m_State; }
    int error() const { return m_Error; }

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();
    void slotProgress(int step, int steps, const QString &text);
    void slotCalibrationCompleted(int error);

private:
    void setState(State state);

    Ui_CalibrateDialog *ui;
    Calibrater m_Calibrater;
    State m_State = STATE_RUNNING;
    int m_Error = CALIBRATION_OK;
    bool m_Started = false;
};
