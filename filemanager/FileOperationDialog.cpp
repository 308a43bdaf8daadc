#include "FileOperationDialog.h"

#include "ui_FileOperationDialog.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTimer>

namespace {

const QColor BarColour(84, 218, 255);
const QRect BarFrame(134, 358, FileOperationDialog::BarLength, 12);

QString errorText(FileOperationPasteError error)
{
    switch (error) {
    case PASTE_SAME_FOLDER:
        return QStringLiteral(
            "<p><b>Error</b><br/><br/>Cannot paste files within the same folder.</p>");
    case PASTE_INSUFFICIENT_DISK_SPACE:
        return QStringLiteral(
            "<p><b>Insufficient Disk Space</b><br/><br/>Insert another USB drive.</p>");
    case PASTE_DESTINATION_NOT_FOUND:
        return QStringLiteral("<p><b>Error!</b><br/><br/>The designated destination could not be "
                              "found. Check the quick save file path and try again.</p>");
    case PASTE_INCOMPLETE:
        return QStringLiteral("<p><b>Error!</b><br/><br/>Some files could not be copied.<br/>"
                              "They were left where they were.</p>");
    case PASTE_ORIGINALS_KEPT:
        return QStringLiteral("<p><b>Error!</b><br/><br/>The files were copied, but some "
                              "originals could not be removed.<br/>They are still where they "
                              "were.</p>");
    }
    return QString();
}

} // namespace

FileOperationDialog::FileOperationDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , m_BarWidth(0)
    , m_Painting(false)
    , m_TotalCount(0)
    , m_TotalBytes(0)
    , ui(new Ui_FileOperationDialog)
    , m_Running(false)
    , m_Generation(0)
{
    ui->setupUi(this);
    setModal(true);
    initialize();
}

FileOperationDialog::~FileOperationDialog()
{
    delete ui;
}

void FileOperationDialog::initialize()
{
    ++m_Generation;     // a delayed step of the last paste no longer applies
    m_BarWidth = 0;
    m_Painting = false;
    m_Running = false;
    m_TotalCount = 0;
    m_TotalBytes = 0;
    ui->BUTTON_OK->hide();
    update();
}

void FileOperationDialog::start()
{
    ui->LABEL_MESSAGE->setText(QStringLiteral("<p><b>Saving in Progress \u2026</b></p>"));
    m_Painting = true;
    m_Running = true;
    m_BarWidth = 0;
    update();
}

void FileOperationDialog::setProgress(float percent)
{
    m_BarWidth = percent * BarLength / 100.0f;
    // Coalesced: a paste of thousands of small files reports after each one.
    update();
}

void FileOperationDialog::slotSetTotalFileCountAndSize(int count, quint64 bytes)
{
    m_TotalCount = count;
    m_TotalBytes = bytes;
}

void FileOperationDialog::slotSetCurrentFileCountAndSize(int, quint64 bytes)
{
    if (m_TotalBytes == 0)
        return;
    setProgress(float(double(bytes) / double(m_TotalBytes) * 100.0));
}

void FileOperationDialog::slotCompleted()
{
    setProgress(100);
    QCoreApplication::processEvents();
    // The full bar stays in sight for a moment before the dialog goes; the paste counts as
    // running until then, so that Escape cannot turn a completed paste into a rejected one.
    const int generation = m_Generation;
    QTimer::singleShot(StepDelayMs, this, [this, generation]() {
        if (generation != m_Generation)
            return;
        m_Running = false;
        accept();
    });
}

void FileOperationDialog::slotPasteError(FileOperationPasteError error)
{
    m_Running = false;
    m_Painting = false;
    repaint();
    QCoreApplication::processEvents();
    const int generation = m_Generation;
    QTimer::singleShot(StepDelayMs, this, [this, generation, error]() {
        if (generation != m_Generation)
            return;
        const QString text = errorText(error);
        if (!text.isEmpty())
            ui->LABEL_MESSAGE->setText(text);
        ui->BUTTON_OK->show();
    });
}

void FileOperationDialog::reject()
{
    // Escape or a window close while the worker runs would let a second paste start.
    if (m_Running)
        return;
    QDialog::reject();
}

void FileOperationDialog::on_BUTTON_OK_clicked()
{
    reject();
}

void FileOperationDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    if (!m_Painting)
        return;
    QPainter painter(this);
    painter.setPen(BarColour);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(BarFrame);
    const int width = int(qBound(0.0f, m_BarWidth, float(BarLength)));
    if (width > 0)
        painter.fillRect(QRect(BarFrame.left(), BarFrame.top(), width, BarFrame.height()),
                         BarColour);
}
