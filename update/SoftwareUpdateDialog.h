#pragma once

#include "MessageType.h"
#include "SoftwareUpdater.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

class Ui_SoftwareUpdateDialog;

// The dialog's states, each with its text and buttons.
enum SoftwareUpdateMessageType {
    InsertUsbDrive = 0,
    UpdateFound = 1,
    UpdateNotDetected = 2,
    UpdateInProgress = 3,
    UpdateComplete = 4,
    UpdateFailure = 5,
};

// The package search: the first package on the first volume holding any whose version
// number differs from the running program's (the program file given, or this program).
bool checkNewSoftware(QFileInfo &file);
bool checkNewSoftware(QFileInfo &file, const QString &programPath);

// The kernel's unwritten data in kB ("Dirty" of /proc/meminfo); false when unreadable.
bool dma_buffer_size(int &dirty);

// Installs a software update from a USB stick: Start searches the volumes, OK installs
// the package found (backup first) while a bar shows the time passing, and Restart
// closes the dialog accepted, upon which the program is ended for the launcher to start
// the new version. Every other way out is rejected and leaves the program running.
class SoftwareUpdateDialog : public QDialog
{
    Q_OBJECT

public:
    // Bound of the wait for unwritten data after an installation, and the pause between
    // two readings.
    static constexpr int DefaultFlushWaitMs = 30000;
    static constexpr int FlushPollMs = 100;
    static void setFlushWaitMs(int ms);     // tests shorten it

    explicit SoftwareUpdateDialog(QWidget *parent = nullptr);
    ~SoftwareUpdateDialog() override;

    void setMessageType(SoftwareUpdateMessageType type);
    void setMessageButtonVisibility(MessageButtonVisibility visibility);
    SoftwareUpdateMessageType messageType() const { return m_MessageType; }
    int progress() const { return m_Progress; }

    // The rules of the instrument's packages: loader, program and verifier, with the
    // backup of the install folder into "/root/restore".
    static void configureUpdater(SoftwareUpdater &updater, const QString &package,
                                 const QString &installFolder, const QString &backupName);

public Q_SLOTS:
    void slotUpdated(bool ok, SoftwareUpdaterError error);
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();
    // Ignored while the update is in progress.
    void reject() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private Q_SLOTS:
    void slotFlushWait();

private:
    SoftwareUpdater m_Updater;
    QFileInfo m_UpdateFile;
    QTimer m_Timer;
    int m_Progress = 0;
    SoftwareUpdateMessageType m_MessageType = InsertUsbDrive;
    Ui_SoftwareUpdateDialog *ui;
    QTimer m_FlushTimer;
    QElapsedTimer m_FlushClock;
};
