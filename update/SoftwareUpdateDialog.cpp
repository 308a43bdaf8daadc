#include "SoftwareUpdateDialog.h"
#include "ui_SoftwareUpdateDialog.h"

#include "PrivateProfile.h"
#include "SafeFile.h"
#include "SystemPaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QScreen>

namespace {

const int ProgressWidth = 502;
const QRect ProgressBar(134, 358, ProgressWidth, 12);
const QColor ProgressColour(84, 218, 255);
const int ButtonTop = 358;
int s_FlushWaitMs = SoftwareUpdateDialog::DefaultFlushWaitMs;

const QFile::Permissions Executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                      | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::ExeOther;

QString failureText()
{
    return QStringLiteral(
        "<p align=\"center\">Update Failure<br></p><p align=\"center\">The update has failed due "
        "to incorrectly saved or damaged software. Delete the existing file, redownload, and try "
        "the update again. If the problem persists, contact your local distributor or "
        "<b>ORBELIN Vn technical support</b>.</p>");
}

FileInfo rule(const QString &pattern, const QString &folder)
{
    return FileInfo{QRegExp(pattern, Qt::CaseSensitive, QRegExp::RegExp), folder, Executable};
}

} // namespace

bool checkNewSoftware(QFileInfo &file)
{
    return checkNewSoftware(file, QCoreApplication::applicationFilePath());
}

bool checkNewSoftware(QFileInfo &file, const QString &programPath)
{
    QDir dir;
    QList<QFileInfo> files;
    if (!SoftwareUpdater::existUpdateFiles(dir, files, {QStringLiteral("ORBELIN_Vn_*_*_*.ovn")}))
        return false;
    const QString prefix = QStringLiteral("ORBELIN_Vn");
    const QString suffix = QStringLiteral("ovn");
    const int running = SoftwareUpdater::IntegerToSoftwareVersion(
        SoftwareUpdater::programFileName(programPath), prefix, suffix);
    for (const QFileInfo &package : qAsConst(files)) {
        if (SoftwareUpdater::IntegerToSoftwareVersion(package.fileName(), prefix, suffix) != running) {
            file = package;
            return true;
        }
    }
    return false;
}

bool dma_buffer_size(int &dirty)
{
    QFile meminfo(SystemPaths::map(QStringLiteral("/proc/meminfo")));
    if (!meminfo.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromLatin1(meminfo.readAll());
    const int start = text.indexOf(QLatin1String("Dirty"));
    if (start < 0)
        return false;
    const int end = text.indexOf(QLatin1Char('\n'), start);
    if (end < 0)
        return false;
    // "Dirty:            1234 kB": the number is the second-to-last blank-separated piece.
    const QStringList pieces = text.mid(start, end - start).split(QLatin1Char(' '));
    if (pieces.size() >= 2)
        dirty = pieces.at(pieces.size() - 2).toInt();
    return true;
}

void SoftwareUpdateDialog::setFlushWaitMs(int ms)
{
    s_FlushWaitMs = ms;
}

SoftwareUpdateDialog::SoftwareUpdateDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_SoftwareUpdateDialog)
{
    ui->setupUi(this);
    setMessageType(InsertUsbDrive);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    qRegisterMetaType<SoftwareUpdaterError>("SoftwareUpdaterError");
    connect(&m_Updater, &SoftwareUpdater::signalUpdated, this, &SoftwareUpdateDialog::slotUpdated);
    connect(&m_Timer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    m_FlushTimer.setSingleShot(true);
    connect(&m_FlushTimer, &QTimer::timeout, this, &SoftwareUpdateDialog::slotFlushWait);
}

SoftwareUpdateDialog::~SoftwareUpdateDialog()
{
    // The dialog cannot be closed while installing; should it go anyway, the installer
    // must not outlive it.
    if (m_Updater.isRunning())
        m_Updater.wait();
    delete ui;
}

void SoftwareUpdateDialog::setMessageType(SoftwareUpdateMessageType type)
{
    m_MessageType = type;
    switch (type) {
    case InsertUsbDrive:
        ui->LABEL_MESSAGE->setText(QStringLiteral(
            "<p align=\"center\"><b>Software Update</b><br/><br/>Insert a USB drive that "
            "contains the latest version of software.</p>"));
        ui->BUTTON_OK->setText(QStringLiteral("Start"));
        ui->BUTTON_CANCEL->setText(QStringLiteral("Exit"));
        setMessageButtonVisibility(MSG_BUTTON_OK_CANCEL);
        break;
    case UpdateFound:
        ui->LABEL_MESSAGE->setText(QStringLiteral(
            "<p align=\"center\">A software update has been found.<br>Do you want to "
            "continue?</p>"));
        ui->BUTTON_OK->setText(QStringLiteral("OK"));
        ui->BUTTON_CANCEL->setText(QStringLiteral("Cancel"));
        setMessageButtonVisibility(MSG_BUTTON_OK_CANCEL);
        break;
    case UpdateNotDetected:
        ui->LABEL_MESSAGE->setText(QStringLiteral(
            "<p align=\"center\"><b>Update Not Detected</b><br>No software update was found. "
            "Insert a USB drive that contains the latest version of software.</p>"));
        ui->BUTTON_CANCEL->setText(QStringLiteral("Exit"));
        setMessageButtonVisibility(MSG_BUTTON_CANCEL);
        break;
    case UpdateInProgress:
        ui->LABEL_MESSAGE->setText(QStringLiteral(
            "<p align=\"center\"><b>Update in Progress ...</b><br><br>Do not remove the USB or "
            "turn off the instrument during the update.</p>"));
        setMessageButtonVisibility(MSG_BUTTON_NONE);
        break;
    case UpdateComplete:
        ui->LABEL_MESSAGE->setText(QStringLiteral(
            "<p align=\"center\"><b>Software Update Complete</b><br>Press Restart to finish "
            "the process.</p>"));
        ui->BUTTON_OK->setText(QStringLiteral("Restart"));
        setMessageButtonVisibility(MSG_BUTTON_OK);
        break;
    case UpdateFailure:
        ui->LABEL_MESSAGE->setText(failureText());
        ui->BUTTON_CANCEL->setText(QStringLiteral("OK"));
        setMessageButtonVisibility(MSG_BUTTON_CANCEL);
        break;
    }
}

void SoftwareUpdateDialog::setMessageButtonVisibility(MessageButtonVisibility visibility)
{
    switch (visibility) {
    case MSG_BUTTON_OK_CANCEL:
        ui->BUTTON_OK->move(145, ButtonTop);
        ui->BUTTON_CANCEL->move(415, ButtonTop);
        ui->BUTTON_OK->show();
        ui->BUTTON_CANCEL->show();
        break;
    case MSG_BUTTON_OK:
        ui->BUTTON_OK->move(280, ButtonTop);
        ui->BUTTON_OK->show();
        ui->BUTTON_CANCEL->hide();
        break;
    case MSG_BUTTON_CANCEL:
        ui->BUTTON_CANCEL->move(280, ButtonTop);
        ui->BUTTON_CANCEL->show();
        ui->BUTTON_OK->hide();
        break;
    default:
        ui->BUTTON_OK->hide();
        ui->BUTTON_CANCEL->hide();
        break;
    }
}

void SoftwareUpdateDialog::configureUpdater(SoftwareUpdater &updater, const QString &package,
                                            const QString &installFolder,
                                            const QString &backupName)
{
    updater.setBackupOn(true);
    updater.setBackupDirPath(QStringLiteral("/root/restore"));
    updater.setBackupFileName(backupName);
    updater.setUpdateFilePath(SystemPaths::unmap(package));
    updater.setUpdateDirPath(SystemPaths::unmap(installFolder));
    const FileInfo loader = rule(QStringLiteral("loader_[0-9]_[0-9]_[0-9]"), QStringLiteral("/root"));
    updater.setCreateSymbolicLinkOfLoader(true);
    updater.setLoaderAndSymbolicLink(loader, QStringLiteral("loader"));
    updater.setFileInfoList({loader,
                             rule(QStringLiteral("ORBELIN_Vn_[0-9]_[0-9]_[0-9]"),
                                  SystemPaths::programFolder()),
                             rule(QStringLiteral("Verifier"), SystemPaths::programFolder())});
}

void SoftwareUpdateDialog::on_BUTTON_OK_clicked()
{
    switch (m_MessageType) {
    case InsertUsbDrive:
        setMessageType(checkNewSoftware(m_UpdateFile) ? UpdateFound : UpdateNotDetected);
        break;
    case UpdateFound:
        setEnabled(false);
        setMessageType(UpdateInProgress);
        QCoreApplication::processEvents();
        m_Timer.start(30);
        configureUpdater(m_Updater, m_UpdateFile.absoluteFilePath(),
                         QCoreApplication::applicationDirPath(),
                         QCoreApplication::applicationName() + QStringLiteral(".ovn"));
        m_Updater.start();
        break;
    case UpdateComplete:
        accept();
        break;
    default:
        break;
    }
}

void SoftwareUpdateDialog::on_BUTTON_CANCEL_clicked()
{
    reject();
}

void SoftwareUpdateDialog::reject()
{
    // Nothing closes the dialog while the installer works or the disks are flushed.
    if (m_MessageType == UpdateInProgress)
        return;
    QDialog::reject();
}

void SoftwareUpdateDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    if (m_MessageType != UpdateInProgress)
        return;
    m_Progress = qMin(m_Progress + 1, ProgressWidth);
    QPainter painter(this);
    painter.setPen(ProgressColour);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(ProgressBar);
    painter.fillRect(QRect(ProgressBar.topLeft(), QSize(m_Progress, ProgressBar.height())),
                     ProgressColour);
}

void SoftwareUpdateDialog::slotUpdated(bool ok, SoftwareUpdaterError error)
{
    m_Timer.stop();
    if (!ok) {
        qDebug() << Q_FUNC_INFO << "update failed:" << SoftwareUpdater::message(error);
        setMessageType(UpdateFailure);
        repaint();
        setEnabled(true);
        return;
    }
    const std::string ini = SystemPaths::settings();
    const QString now = QLocale::c().toString(QDateTime::currentDateTime(),
                                              QStringLiteral("dd MMM yyyy hh:mm")).toUpper();
    WritePrivateProfileString("Software Update", "Last Update", now.toStdString(), ini);
    WritePrivateProfileString("Software version", "Value",
                              SoftwareUpdater::StringToSoftwareVersion(
                                  m_UpdateFile.fileName(), QStringLiteral("ORBELIN_Vn_"),
                                  QStringLiteral(".ovn")).toStdString(),
                              ini);
    m_Progress = ProgressWidth;
    repaint();
    QCoreApplication::processEvents();
    SafeFile::syncFileSystem(SystemPaths::programFolder());
    // The bar stays full (still "in progress") until the disks hold no unwritten data.
    m_FlushClock.start();
    slotFlushWait();
}

void SoftwareUpdateDialog::slotFlushWait()
{
    int dirty = -1;
    const bool read = dma_buffer_size(dirty);
    if ((!read || dirty != 0) && m_FlushClock.elapsed() < s_FlushWaitMs) {
        m_FlushTimer.start(FlushPollMs);
        return;
    }
    if (read && dirty != 0)
        qDebug() << Q_FUNC_INFO << dirty << "kB still unwritten; going on";
    setMessageType(UpdateComplete);
    repaint();
    setEnabled(true);
}
