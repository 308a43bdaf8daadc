#include "CalibrateDialog.h"
#include "ui_CalibrateDialog.h"

#include "QtSerialPort.h"

#include <QDebug>
#include <QKeyEvent>

CalibrateDialog::CalibrateDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_CalibrateDialog)
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->PROGRESS->setRange(0, Calibrater::Steps);
    ui->PROGRESS->setValue(0);
    connect(&m_Calibrater, &Calibrater::signalProgress, this, &CalibrateDialog::slotProgress);
    connect(&m_Calibrater, &Calibrater::signalCalibrationCompleted, this,
            &CalibrateDialog::slotCalibrationCompleted);
    setState(STATE_RUNNING);
}

CalibrateDialog::~CalibrateDialog()
{
    m_Calibrater.requestInterruption();
    m_Calibrater.wait();
    delete ui;
}

void CalibrateDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_Started)
        return;
    m_Started = true;
    // The run builds its own link in its own thread; one held here would be used from two.
    QtSerialPort::release();
    m_Calibrater.start();
}

void CalibrateDialog::setState(State state)
{
    m_State = state;
    ui->BUTTON_OK->setVisible(state == STATE_COMPLETED || state == STATE_FAILED);
    ui->BUTTON_CANCEL->setVisible(state == STATE_RUNNING || state == STATE_STOPPING);
    ui->BUTTON_CANCEL->setEnabled(state == STATE_RUNNING);
    if (state == STATE_STOPPING)
        ui->LABEL_MESSAGE->setText(tr("Stopping the calibration..."));
}

void CalibrateDialog::slotProgress(int step, int steps, const QString &text)
{
    ui->PROGRESS->setMaximum(steps);
    ui->PROGRESS->setValue(step);
    if (m_State == STATE_RUNNING)
        ui->LABEL_MESSAGE->setText(text);
}

void CalibrateDialog::slotCalibrationCompleted(int error)
{
    m_Error = error;
    if (m_State == STATE_STOPPING) {
        QDialog::reject();
        return;
    }
    if (error == CALIBRATION_OK) {
        ui->PROGRESS->setValue(ui->PROGRESS->maximum());
        ui->LABEL_MESSAGE->setText(Calibrater::describe(error));
        setState(STATE_COMPLETED);
    } else {
        ui->LABEL_MESSAGE->setText(tr("<p><b>Calibration failed (error %1)</b><br/><br/>%2<br/>"
                                      "Please try again.</p>")
                                       .arg(error).arg(Calibrater::describe(error)));
        setState(STATE_FAILED);
    }
}

void CalibrateDialog::on_BUTTON_OK_clicked()
{
    if (m_State == STATE_COMPLETED)
        accept();
    else if (m_State == STATE_FAILED)
        QDialog::reject();
}

void CalibrateDialog::on_BUTTON_CANCEL_clicked()
{
    reject();
}

void CalibrateDialog::reject()
{
    // A running calibration is asked to stop; the dialog closes when the run has ended,
    // so nothing is written behind the caller's back.
    if (m_State == STATE_RUNNING && m_Calibrater.isRunning()) {
        m_Calibrater.requestInterruption();
        setState(STATE_STOPPING);
        return;
    }
    if (m_State == STATE_STOPPING)
        return;
    QDialog::reject();
}

void CalibrateDialog::keyPressEvent(QKeyEvent *event)
{
    // The key pad's Enter does what OK does; while the run goes on it does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        on_BUTTON_OK_clicked();
        return;
    }
    QDialog::keyPressEvent(event);
}
