#include "ReviewFrame.h"
#include "ui_ReviewFrame.h"

#include "CSVReaderWriter.h"
#include "Copy.h"
#include "DiskAccess.h"
#include "FileSystemItem.h"
#include "FolderWalk.h"
#include "ImReaderWriter.h"
#include "MediaMonitor.h"
#include "MessageDlg.h"
#include "ReviewOptionsDialog.h"
#include "SavedCountTotals.h"
#include "SystemPaths.h"

#include <QApplication>
#include <QDate>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>

#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char ExportTempFile[] = "/root/temp.csv";
const char DamagedImageText[] =
    "This image cannot be opened because the file appears to be damaged or corrupted";
const char ExportFailedText[] =
    "<p><b>Error!</b><br/><br/>The results could not be exported to the USB drive.</p>";
const int MaxExportNames = 1000;
const unsigned long ResultsLogLines = 1001;

const char TableStyle[] =
    "QTableWidget { color: rgb(130, 130, 130); background: transparent;"
    " gridline-color: #c4cbd4; border: none; }"
    "QScrollBar:vertical { width: 44px; background: rgb(60, 60, 60); margin: 44px 0 44px 0; }"
    "QScrollBar::handle:vertical { background: #677079; min-height: 30px; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"
    "QScrollBar::sub-line:vertical { height: 44px; subcontrol-position: top;"
    " subcontrol-origin: margin; background: rgb(60, 60, 60);"
    " image: url(\":/Common/scrollbar/vertical/arrow head_up.png\"); }"
    "QScrollBar::sub-line:vertical:pressed {"
    " image: url(\":/Common/scrollbar/vertical/arrow head_up_pressed.png\"); }"
    "QScrollBar::add-line:vertical { height: 44px; subcontrol-position: bottom;"
    " subcontrol-origin: margin; background: rgb(60, 60, 60);"
    " image: url(\":/Common/scrollbar/vertical/arrow head_down.png\"); }"
    "QScrollBar::add-line:vertical:pressed {"
    " image: url(\":/Common/scrollbar/vertical/arrow head_down_pressed.png\"); }";

// Field of a results-log row shown in each table column, and the column's alignment.
struct Column
{
    int field;
    int width;
    Qt::Alignment alignment;
};
const Column Columns[] = {
    {1, 180, Qt::AlignLeft | Qt::AlignVCenter},
    {0, 200, Qt::AlignLeft | Qt::AlignVCenter},
    {2, 111, Qt::AlignLeft | Qt::AlignVCenter},
    {3, 120, Qt::AlignCenter},
    {4, 100, Qt::AlignCenter},
    {5, 0, Qt::AlignLeft | Qt::AlignVCenter},
};
const int ColumnCount = int(sizeof(Columns) / sizeof(Columns[0]));

QFont screenFont(int weight)
{
    QFont font(QStringLiteral("OpenSymbol"), 14);
    font.setWeight(weight);
    return font;
}

} // namespace

ReviewFrame::ReviewFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_ReviewFrame)
{
    ui->setupUi(this);
}

ReviewFrame::~ReviewFrame()
{
    delete ui;
}

void ReviewFrame::initialize()
{
    setMainUIState(REVIEW_IMAGE);
    setSubUIState(REDUCED_IMAGE);
    ui->FILE->initialize();

    for (QLabel *title : {ui->LABEL_TOTAL_CELLS_CONCENTRATION_TITLE, ui->LABEL_AVERAGE_SIZE_TITLE,
                          ui->LABEL_TOTAL_CELLS_TITLE, ui->LABEL_DILUTION_FACTOR_TITLE})
        title->setFont(screenFont(QFont::Normal));
    for (QLabel *value : {ui->LABEL_TOTAL_CELLS_CONCENTRATION, ui->LABEL_AVERAGE_SIZE,
                          ui->LABEL_TOTAL_CELLS, ui->LABEL_DILUTION_FACTOR})
        value->setFont(screenFont(QFont::Light));
    ui->TABLEWIDGET_CSV->setFont(screenFont(QFont::Normal));

    setupTable();
    fillTable();
    ui->FILE->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 44px; }"));
    ui->FILE->horizontalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:horizontal { height: 44px; }"));

    ui->IMAGE->hide();
    ui->BUTTON_PREVIOUS->hide();
    ui->BUTTON_NEXT->hide();
    ui->BUTTON_RE_ANALYSIS->setEnabled(false);
    applySelectionRule(false);

    connect(ui->FILE, &FileSystemTreeWidget::signalClearClipboard, this,
            &ReviewFrame::slotClearClipboard);
    connect(ui->FILE, &FileSystemTreeWidget::signalCurrentItemChanged, this,
            &ReviewFrame::slotCurrentItemChanged);
    // Delete and Backspace on the tree ask here, like the DELETE button.
    connect(ui->FILE, &FileSystemTreeWidget::signalEraseRequested, this,
            &ReviewFrame::on_BUTTON_DELETE_clicked);
    connect(this, &ReviewFrame::signalSetImageData, ui->IMAGE, &ImageFrame::slotSetImageData);
    ui->FILE->installEventFilter(this);

    ui->IMAGE->setScaleBarEnable(ReviewOptionsDialog::readScaleBarEnabled());
    // Camera pixel 3.75 um at magnification 10: a white bar of 100 um.
    ui->IMAGE->createScaleBar(3.75f, 10.0f, 100.0f, 255, 255, 255);
}

void ReviewFrame::setMainUIState(int state)
{
    if (state != REVIEW_IMAGE && state != PREVIOUS_COUNTS)
        return;
    const bool review = state == REVIEW_IMAGE;
    ui->REVIEW_IMAGE->setVisible(review);
    ui->BUTTON_RE_ANALYSIS->setVisible(review);
    ui->PREVIOUS_COUNTS->setVisible(!review);
    ui->BUTTON_ERASE_ALL->setVisible(!review);
    ui->BUTTON_EXPORT_CSV->setVisible(!review);
    ui->BUTTON_REVIEW_IMAGE->setChecked(review);
    ui->BUTTON_PREVIOUS_COUNTS->setChecked(!review);
}

void ReviewFrame::setSubUIState(int state)
{
    if (state != REDUCED_IMAGE && state != EXPANDED_IMAGE)
        return;
    const bool expanded = state == EXPANDED_IMAGE;
    const int y = expanded ? 26 : 538;
    ui->IMAGE_EXPAND_TITLEBAR->setVisible(expanded);
    for (QWidget *w : {static_cast<QWidget *>(ui->BUTTON_PREVIOUS),
                       static_cast<QWidget *>(ui->BUTTON_NEXT),
                       static_cast<QWidget *>(ui->LABEL_CURRENT)}) {
        w->move(w->x(), y);
        if (expanded)
            w->raise();
    }
    ui->BUTTON_EXPAND->setVisible(!expanded);
    ui->BUTTON_REDUCE->setVisible(expanded);
    ui->IMAGE->setGeometry(expanded ? QRect(8, 93, 958, 618) : QRect(310, 331, 372, 260));
    ui->IMAGE->raise();
    for (QWidget *w : {ui->BUTTON_CUT, ui->BUTTON_COPY, ui->BUTTON_PASTE, ui->BUTTON_DELETE})
        w->setVisible(!expanded);
}

void ReviewFrame::on_BUTTON_REVIEW_IMAGE_clicked() { setMainUIState(REVIEW_IMAGE); }
void ReviewFrame::on_BUTTON_PREVIOUS_COUNTS_clicked() { setMainUIState(PREVIOUS_COUNTS); }
void ReviewFrame::on_BUTTON_EXPAND_clicked() { setSubUIState(EXPANDED_IMAGE); }
void ReviewFrame::on_BUTTON_REDUCE_clicked() { setSubUIState(REDUCED_IMAGE); }

// ---- Saved-image review

bool ReviewFrame::ignoreVanishedPath(const QString &path, bool isChild) const
{
    if (isChild || path.isEmpty() || QFileInfo::exists(SystemPaths::map(path)))
        return false;
    // A folder under the one on show went while its volume is still there: keep the view.
    QString volume;
    if (m_Folder.startsWith(QLatin1String("/ORBELIN"))) {
        volume = QStringLiteral("ORBELIN");
    } else {
        volume = m_Folder;
        volume.remove(QStringLiteral("/media/"));
        volume = volume.section(QLatin1Char('/'), 0, 0);
    }
    if (volume.isEmpty())
        return false;
    const QList<storage_t> devices = MediaMonitor::devices();
    for (const storage_t &device : devices) {
        if (device.label == volume)
            return true;
    }
    return false;
}

void ReviewFrame::slotCurrentItemChanged(const QString &path, bool isChild)
{
    if (ignoreVanishedPath(path, isChild))
        return;
    refreshFreeSpace(path);
    applySelectionRule(isChild);
    if (!isChild) {
        // A volume, or nothing: no folder to count again either.
        setSubUIState(REDUCED_IMAGE);
        ui->BUTTON_RE_ANALYSIS->setEnabled(false);
        clearTotals();
        return;
    }
    showTotals(path);
}

void ReviewFrame::clearTotals()
{
    ui->IMAGE->hide();
    for (QLabel *value : {ui->LABEL_TOTAL_CELLS_CONCENTRATION, ui->LABEL_AVERAGE_SIZE,
                          ui->LABEL_TOTAL_CELLS, ui->LABEL_DILUTION_FACTOR, ui->LABEL_CURRENT,
                          ui->LABEL_COUNTS_OF_FIELD})
        value->clear();
    ui->BUTTON_PREVIOUS->hide();
    ui->BUTTON_NEXT->hide();
    m_TagFiles.clear();
    m_CellCounts.clear();
    m_FieldCount = 0;
}

void ReviewFrame::showTotals(const QString &folder)
{
    const SavedCountTotals totals = SavedCountTotals::read(folder);
    // The re-analysis request names the folder selected, whether or not it has totals.
    m_Folder = folder;
    ui->BUTTON_RE_ANALYSIS->setEnabled(totals.hasRawImages());
    if (!totals.hasTotals()) {
        clearTotals();
        return;
    }

    m_CellCounts = totals.cellCounts();
    m_TagFiles = totals.tagFiles();
    m_FieldCount = int(m_TagFiles.size());

    ui->LABEL_TOTAL_CELLS_CONCENTRATION->setText(totals.concentrationText());
    ui->LABEL_TOTAL_CELLS->setText(QString::number(totals.cellSum()));
    ui->LABEL_AVERAGE_SIZE->setText(totals.meanSizeText());
    ui->LABEL_DILUTION_FACTOR->setText(totals.dilutionFactorText());
    ui->LABEL_CURRENT->setText(QStringLiteral("1"));
    ui->LABEL_COUNTS_OF_FIELD->setText(
        QStringLiteral("Counted cell number = %1").arg(m_CellCounts.front()));
    ui->BUTTON_PREVIOUS->setEnabled(false);
    ui->BUTTON_NEXT->setEnabled(m_FieldCount > 1);

    int width = 0;
    int height = 0;
    if (sendImage(m_TagFiles.front(), &width, &height))
        ui->IMAGE->setPosition(width / 2, height / 2);
    else
        sendDamagedImagePlaceholder();

    ui->BUTTON_PREVIOUS->show();
    ui->BUTTON_NEXT->show();
    ui->IMAGE->show();
}

void ReviewFrame::on_BUTTON_NEXT_clicked()
{
    bool ok = false;
    const uint n = ui->LABEL_CURRENT->text().toUInt(&ok);
    if (!ok || n >= uint(m_FieldCount))
        return;
    ui->LABEL_CURRENT->setText(QString::number(n + 1));
    showField(int(n));
    if (n + 1 == uint(m_FieldCount))
        ui->BUTTON_NEXT->setEnabled(false);
    ui->BUTTON_PREVIOUS->setEnabled(true);
}

void ReviewFrame::on_BUTTON_PREVIOUS_clicked()
{
    bool ok = false;
    const int n = ui->LABEL_CURRENT->text().toInt(&ok);
    if (!ok || n < 2 || n > m_FieldCount)
        return;
    ui->LABEL_CURRENT->setText(QString::number(n - 1));
    showField(n - 2);
    if (n - 1 == 1)
        ui->BUTTON_PREVIOUS->setEnabled(false);
    ui->BUTTON_NEXT->setEnabled(true);
}

void ReviewFrame::showField(int index)
{
    if (index < 0 || size_t(index) >= m_TagFiles.size() || size_t(index) >= m_CellCounts.size())
        return;
    int count = m_CellCounts[size_t(index)];
    if (!sendImage(m_TagFiles[size_t(index)])) {
        sendDamagedImagePlaceholder();
        count = 0;
    }
    ui->LABEL_COUNTS_OF_FIELD->setText(QStringLiteral("Counted cell number = %1").arg(count));
}

bool ReviewFrame::sendImage(const std::string &path, int *width, int *height)
{
    general::ImReaderWriter image;
    std::string file = path;
    // The reader refuses damaged, truncated and oversized files.
    if (!image.read(file))
        return false;
    const int bitsPerPixel = int(image.bitsPerSample()) * int(image.samplesPerPixel());
    // The view shows grey (8 or 16 bits) and RGB (24 bits) pixels only.
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24)
        return false;
    unsigned char *pixels = image.data(bitsPerPixel);
    if (!pixels)
        return false;
    emit signalSetImageData(pixels, image.width(), image.height(), bitsPerPixel);
    if (width)
        *width = image.width();
    if (height)
        *height = image.height();
    return true;
}

void ReviewFrame::sendDamagedImagePlaceholder()
{
    QImage picture(1280, 960, QImage::Format_RGB888);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        // Large enough to read in the reduced view, where the picture is shown at a third.
        QFont font = painter.font();
        font.setPixelSize(48);
        painter.setFont(font);
        painter.drawText(picture.rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         QString::fromLatin1(DamagedImageText));
    }
    std::vector<unsigned char> pixels(size_t(picture.width()) * picture.height() * 3);
    const int rowBytes = picture.width() * 3;
    for (int y = 0; y < picture.height(); ++y)
        memcpy(pixels.data() + size_t(y) * rowBytes, picture.constScanLine(y), size_t(rowBytes));
    emit signalSetImageData(pixels.data(), picture.width(), picture.height(), 24);
}

void ReviewFrame::on_BUTTON_RE_ANALYSIS_clicked()
{
    emit signalAnalysis(m_Folder);
}

void ReviewFrame::slotEnableScaleBarDisplay(bool enable)
{
    ui->IMAGE->setScaleBarEnable(enable);
}

// ---- Previous counts

void ReviewFrame::setupTable()
{
    QTableWidget *table = ui->TABLEWIDGET_CSV;
    table->setColumnCount(ColumnCount);
    for (int c = 0; c < ColumnCount; ++c) {
        if (Columns[c].width > 0)
            table->setColumnWidth(c, Columns[c].width);
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setStyleSheet(QString::fromLatin1(TableStyle));
    table->verticalScrollBar()->setStyleSheet(QStringLiteral("QScrollBar:vertical { width: 44px; }"));
}

void ReviewFrame::fillTable()
{
    CSVReaderWriter log(ResultsLogLines, "%s", CSVReaderWriter::resultsLogHeader().c_str());
    log.read(SystemPaths::resultsLogFile().toUtf8().constData());
    const std::vector<std::string> lines = log.csv();
    std::vector<std::string> fields;
    // Newest first: the file keeps the newest row last.
    for (size_t i = lines.size(); i-- > 1;) {
        CSVReaderWriter::parse(lines[i], fields);
        if (fields.size() >= size_t(ColumnCount))
            insertTableRow(ui->TABLEWIDGET_CSV->rowCount(), fields);
    }
    ui->TABLEWIDGET_CSV->resizeRowsToContents();
}

void ReviewFrame::insertTableRow(int row, const std::vector<std::string> &fields)
{
    QTableWidget *table = ui->TABLEWIDGET_CSV;
    table->insertRow(row);
    for (int c = 0; c < ColumnCount; ++c) {
        auto *item = new QTableWidgetItem(QString::fromStdString(fields[size_t(Columns[c].field)]));
        item->setTextAlignment(int(Columns[c].alignment));
        table->setItem(row, c, item);
    }
}

void ReviewFrame::slotAppendCSVData(std::string line)
{
    std::vector<std::string> fields;
    CSVReaderWriter::parse(line, fields);
    if (fields.size() >= size_t(ColumnCount))
        insertTableRow(0, fields);
    ui->TABLEWIDGET_CSV->resizeRowsToContents();
    ui->BUTTON_ERASE_ALL->setEnabled(!m_SecurityMode);
}

void ReviewFrame::slotFilenameReplaced(const QString &name)
{
    if (ui->TABLEWIDGET_CSV->rowCount() < 1)
        return;
    ui->TABLEWIDGET_CSV->setItem(0, 1, new QTableWidgetItem(name));
}

void ReviewFrame::on_BUTTON_ERASE_ALL_clicked()
{
    if (m_SecurityMode)
        return;
    MessageDlg question(MSG_ERASE_ALL);
    if (question.exec() != QDialog::Accepted)
        return;
    setEnabled(false);
    QApplication::processEvents();
    ui->TABLEWIDGET_CSV->setRowCount(0);
    const QString log = SystemPaths::map(SystemPaths::resultsLogFile());
    if (QFile::exists(log) && !QFile::remove(log))
        qDebug() << Q_FUNC_INFO << "cannot delete" << log;
    emit signalCSVRemoved();
    setEnabled(true);
    ui->BUTTON_ERASE_ALL->setEnabled(false);
}

void ReviewFrame::on_BUTTON_EXPORT_CSV_clicked()
{
    if (m_SecurityMode)
        return;
    QString device;
    QString mountPoint;
    if (!MediaMonitor::isConnectedUSBDrive(device, mountPoint)) {
        MessageDlg message(MSG_INSERT_USB);
        message.exec();
        return;
    }
    QString error;
    if (exportResultsLog(mountPoint, &error)) {
        MessageDlg message(MSG_EXPORT_SUCCEEDED);
        message.exec();
        return;
    }
    qDebug() << Q_FUNC_INFO << error;
    MessageDlg message;
    message.setMessage(QString::fromLatin1(ExportFailedText));
    message.setMessageButtonVisibility(MSG_BUTTON_OK);
    message.exec();
}

bool ReviewFrame::exportResultsLog(const QString &mountPoint, QString *error)
{
    CSVReaderWriter log(ResultsLogLines, "%s", CSVReaderWriter::resultsLogHeader().c_str());
    log.read(SystemPaths::resultsLogFile().toUtf8().constData());
    if (!log.reverseWrite(ExportTempFile)) {
        *error = QStringLiteral("cannot write %1").arg(QString::fromLatin1(ExportTempFile));
        return false;
    }

    const QString date = QLocale::system().toString(QDate::currentDate(),
                                                    QStringLiteral("dd MMM yyyy"));
    const QString base = QStringLiteral("CountingResults_") + date;
    QString target = mountPoint + QLatin1Char('/') + base + QStringLiteral(".csv");
    int n = 0;
    while (QFileInfo::exists(SystemPaths::map(target)) && n < MaxExportNames)
        target = mountPoint + QLatin1Char('/') + base + QStringLiteral(" (%1).csv").arg(++n);

    bool ok = false;
    if (QFileInfo::exists(SystemPaths::map(target))) {
        *error = QStringLiteral("no free name for %1").arg(base);
    } else if (copy(ExportTempFile, target.toUtf8().constData()) != 0) {
        *error = QStringLiteral("cannot copy to %1").arg(target);
        // Leave no half-written file on the stick.
        QFile::remove(SystemPaths::map(target));
    } else {
        ok = true;
    }
    QFile::remove(SystemPaths::map(QString::fromLatin1(ExportTempFile)));
    // Flush the stick's file system (copy() has flushed the file itself).
    const int folder = ::open(QFile::encodeName(SystemPaths::map(mountPoint)).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::syncfs(folder);
        ::close(folder);
    }
    return ok;
}

// ---- File actions

QString ReviewFrame::extract_mountpoint(const QString &path)
{
    if (path.isEmpty())
        return QString();
    if (path.startsWith(QLatin1String("/ORBELIN")))
        return QStringLiteral("/ORBELIN");
    int slash = -1;
    for (int i = 0; i < 3; ++i) {
        slash = path.indexOf(QLatin1Char('/'), slash + 1);
        if (slash < 0)
            return path;
    }
    return path.left(slash);
}

QString ReviewFrame::capacityText(float freeMiB)
{
    static const char *const Units[] = {"M", "G", "T"};
    double value = double(freeMiB);
    for (const char *unit : Units) {
        // Compare the shown value, so that 1023.96 reads "1.0 G", not "1024.0 M".
        if (std::round(value * 10.0) / 10.0 < 1024.0)
            return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(unit));
        value /= 1024.0;
    }
    return QStringLiteral("Unknown");
}

QString ReviewFrame::disk_capacity_ToString(const QString &path)
{
    const QString root = extract_mountpoint(path);
    if (root.isEmpty())
        return QStringLiteral("Unknown");
    return capacityText(MediaMonitor::freeDiskSpace(root));
}

void ReviewFrame::refreshFreeSpace(const QString &path)
{
    ui->LABEL_DISK_FREE_CAPACITY->setText(QLatin1Char('(') + disk_capacity_ToString(path)
                                          + QLatin1Char(')'));
}

QString ReviewFrame::currentTreePath() const
{
    auto *node = dynamic_cast<fs::FileSystemItem *>(ui->FILE->currentItem());
    return node ? node->item().filePath : QString();
}

void ReviewFrame::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    if (ui->FILE->currentItem())
        refreshFreeSpace(currentTreePath());
}

bool ReviewFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->FILE && m_SecurityMode
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_X || key == Qt::Key_C || key == Qt::Key_V)
            return true;
    }
    return QFrame::eventFilter(watched, event);
}

void ReviewFrame::applySelectionRule(bool isChild)
{
    if (m_SecurityMode) {
        for (QWidget *w : {ui->BUTTON_CUT, ui->BUTTON_COPY, ui->BUTTON_PASTE, ui->BUTTON_DELETE})
            w->setEnabled(false);
        return;
    }
    ui->BUTTON_CUT->setEnabled(isChild);
    ui->BUTTON_COPY->setEnabled(isChild);
    ui->BUTTON_PASTE->setEnabled(ui->BUTTON_CUT->isChecked() || ui->BUTTON_COPY->isChecked());
    ui->BUTTON_DELETE->setEnabled(isChild);
}

void ReviewFrame::showClipboard(int mode)
{
    m_ShownClipboard = mode;
    ui->BUTTON_CUT->setChecked(mode == 1);
    ui->BUTTON_COPY->setChecked(mode == 0);
}

void ReviewFrame::on_BUTTON_CUT_clicked()
{
    // A row whose folder has gone leaves the clipboard, and so the buttons, as they were
    // (the touch has toggled the button already).
    showClipboard(ui->FILE->cut() ? 1 : m_ShownClipboard);
    ui->BUTTON_PASTE->setEnabled(!m_SecurityMode && m_ShownClipboard >= 0);
}

void ReviewFrame::on_BUTTON_COPY_clicked()
{
    showClipboard(ui->FILE->copy() ? 0 : m_ShownClipboard);
    ui->BUTTON_PASTE->setEnabled(!m_SecurityMode && m_ShownClipboard >= 0);
}

void ReviewFrame::on_BUTTON_PASTE_clicked()
{
    if (m_SecurityMode || !ui->FILE->paste())
        return;
    showClipboard(-1);
    ui->BUTTON_PASTE->setEnabled(false);
    if (ui->FILE->currentItem())
        refreshFreeSpace(currentTreePath());
}

void ReviewFrame::on_BUTTON_DELETE_clicked()
{
    if (m_SecurityMode || !ui->FILE->currentItem())
        return;
    // The tree may change while the question is open: OK deletes the path it named.
    const QString path = currentTreePath();
    QString shown = FolderWalk::displayName(path);
    if (shown.startsWith(QLatin1String("/media")))
        shown.remove(0, 6);
    MessageDlg question;
    question.setMessage(QStringLiteral("Delete ") + shown + QLatin1Char('?'), Qt::PlainText);
    question.setMessageButtonVisibility(MSG_BUTTON_OK_CANCEL);
    if (question.exec() == QDialog::Accepted)
        ui->FILE->erase(path);
}

void ReviewFrame::slotClearClipboard()
{
    showClipboard(-1);
}

void ReviewFrame::slotEnableSecurityMode(bool enable)
{
    qDebug() << Q_FUNC_INFO << (enable ? "true" : "false");
    m_SecurityMode = enable;
    for (QWidget *w : {ui->BUTTON_CUT, ui->BUTTON_COPY, ui->BUTTON_PASTE, ui->BUTTON_DELETE,
                       ui->BUTTON_EXPORT_CSV, ui->BUTTON_ERASE_ALL})
        w->setEnabled(!enable);
}
