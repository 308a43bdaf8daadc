#include "ProtocolFrame.h"
#include "ui_ProtocolFrame.h"

#include "MessageDlg.h"
#include "PrivateProfile.h"
#include "SaveAsDlg.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>

#include <algorithm>

namespace {

const char DefaultProtocol[] = "DEFAULT";

// The six parameters, in the order they are written, shown and read.
struct Parameter
{
    const char *section;
    const char *key;
    const char *builtIn;
};

const Parameter Parameters[] = {
    {"Dilution Factor", "Value", "2"},
    {"Min Cell Size", "Size", "0.3"},
    {"Max Cell Size", "Size", "50"},
    {"Roundness", "Value", "30"},
    {"Declustering Level", "Level", "7"},
    {"Detection Sensitivity", "Value", "4"},
};

// The minimum size stops at 0.3; this is 0.3 plus the rounding of single precision.
const float MinimumSizeFloor = 0.30000103f;
const float MaximumSize = 50.0f;
const int MaximumDilution = 20000;

int integerOf(const QLabel *field)
{
    bool ok = false;
    const int value = field->text().toInt(&ok, 10);
    return ok ? value : 0;
}

float sizeOf(const QLabel *field)
{
    bool ok = false;
    const float value = field->text().toFloat(&ok);
    return ok ? value : 0.0f;
}

// printf's %g: six significant digits, no trailing zeros, "." whatever the locale.
void setSize(QLabel *field, float value)
{
    field->setText(QString::asprintf("%g", double(value)));
}

void showError(const QString &text)
{
    MessageDlg box;
    box.setMessage(text);
    box.setMessageButtonVisibility(MSG_BUTTON_OK);
    box.exec();
}

} // namespace

ProtocolFrame::ProtocolFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_ProtocolFrame)
{
    ui->setupUi(this);
    ui->LIST->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { width: 44px; background: #e3e8ee; margin: 44px 0 44px 0; }"
        "QScrollBar::handle:vertical { background: #a9b2bd; min-height: 44px; border-radius: 6px; }"
        "QScrollBar::sub-line:vertical { height: 44px; subcontrol-position: top;"
        " subcontrol-origin: margin; border-image: url(\":/Common/scrollbar/vertical/arrow head_up.png\"); }"
        "QScrollBar::add-line:vertical { height: 44px; subcontrol-position: bottom;"
        " subcontrol-origin: margin; border-image: url(\":/Common/scrollbar/vertical/arrow head_down.png\"); }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    ui->LIST->horizontalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:horizontal { height: 44px; background: #e3e8ee; margin: 0 44px 0 44px; }"
        "QScrollBar::handle:horizontal { background: #a9b2bd; min-width: 44px; border-radius: 6px; }"
        "QScrollBar::sub-line:horizontal { width: 44px; subcontrol-position: left;"
        " subcontrol-origin: margin; border-image: url(\":/Common/scrollbar/horizontal/arrow head_left.png\"); }"
        "QScrollBar::add-line:horizontal { width: 44px; subcontrol-position: right;"
        " subcontrol-origin: margin; border-image: url(\":/Common/scrollbar/horizontal/arrow head_right.png\"); }"
        "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: none; }"));
    searchProtocolList();
}

ProtocolFrame::~ProtocolFrame()
{
    delete ui;
}

QString ProtocolFrame::protocolPath(const QString &name)
{
    return SystemPaths::protocolFolder() + QLatin1Char('/') + name + QStringLiteral(".ini");
}

QList<QLabel *> ProtocolFrame::valueFields() const
{
    return {ui->LABEL_DILUTION_FACTOR, ui->LABEL_MIN_CELL_SIZE, ui->LABEL_MAX_CELL_SIZE,
            ui->LABEL_ROUNDNESS, ui->LABEL_DECLUSTERING_LEVEL, ui->LABEL_DETECTION_SENSITIVITY};
}

QString ProtocolFrame::currentName() const
{
    const QListWidgetItem *item = ui->LIST->currentItem();
    return item ? item->text() : QString();
}

void ProtocolFrame::setMainUIState(ProtocolUIState state)
{
    const bool edit = state == PROTOCOL_UI_EDIT;
    const QList<QPushButton *> steppers{
        ui->BUTTON_DILUTION_FACTOR_UP, ui->BUTTON_DILUTION_FACTOR_DOWN,
        ui->BUTTON_MIN_CELL_SIZE_UP, ui->BUTTON_MIN_CELL_SIZE_DOWN,
        ui->BUTTON_MAX_CELL_SIZE_UP, ui->BUTTON_MAX_CELL_SIZE_DOWN,
        ui->BUTTON_ROUNDNESS_UP, ui->BUTTON_ROUNDNESS_DOWN,
        ui->BUTTON_DECLUSTERING_LEVEL_UP, ui->BUTTON_DECLUSTERING_LEVEL_DOWN,
        ui->BUTTON_DETECTION_SENSITIVITY_UP, ui->BUTTON_DETECTION_SENSITIVITY_DOWN};
    for (QPushButton *button : steppers)
        button->setEnabled(edit);
}

void ProtocolFrame::searchProtocolList()
{
    ui->LIST->clear();
    ui->LIST->setSortingEnabled(false);
    ui->LIST->addItem(QString::fromLatin1(DefaultProtocol));

    // Only "*.ini" in lower case: the counting run opens the protocol as name + ".ini".
    const QDir folder(SystemPaths::map(SystemPaths::protocolFolder()));
    QStringList files = folder.entryList({QStringLiteral("*.ini")},
                                         QDir::Files | QDir::CaseSensitive, QDir::Unsorted);
    std::sort(files.begin(), files.end());  // by character codes: "B.ini" before "a.ini"
    for (const QString &file : qAsConst(files)) {
        if (file == QLatin1String("DEFAULT.ini"))
            continue;
        ui->LIST->addItem(file.left(file.size() - 4));
    }
    ui->LIST->setCurrentRow(0);
}

void ProtocolFrame::on_LIST_currentTextChanged(const QString &name)
{
    setMainUIState(PROTOCOL_UI_VIEW);
    const QList<QLabel *> fields = valueFields();
    const bool builtIn = name == QLatin1String(DefaultProtocol) || name.isEmpty();
    const std::string path = protocolPath(name).toStdString();
    for (int i = 0; i < fields.size(); ++i) {
        std::string value = Parameters[i].builtIn;
        if (!builtIn)
            ReadPrivateProfileString(Parameters[i].section, Parameters[i].key,
                                     Parameters[i].builtIn, value, path);
        fields.at(i)->setText(QString::fromStdString(value));
    }
}

bool ProtocolFrame::save(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) {
        qDebug() << Q_FUNC_INFO << "refused name" << name;
        return false;
    }
    const std::string path = protocolPath(name).toStdString();
    const QList<QLabel *> fields = valueFields();
    bool written = true;
    for (int i = 0; i < fields.size(); ++i)
        written = WritePrivateProfileString(Parameters[i].section, Parameters[i].key,
                                            fields.at(i)->text().toStdString(), path)
            && written;
    if (!written)
        qDebug() << Q_FUNC_INFO << "cannot write" << QString::fromStdString(path);
    return written;
}

void ProtocolFrame::slotEnableSecurityMode(bool on)
{
    qDebug() << Q_FUNC_INFO << on;
    ui->BUTTON_EDIT->setEnabled(!on);
    ui->BUTTON_DELETE->setEnabled(!on);
    ui->BUTTON_SAVE_AS->setEnabled(!on);
}

void ProtocolFrame::on_BUTTON_EDIT_clicked()
{
    if (currentName() == QLatin1String(DefaultProtocol)) {
        MessageDlg box(MSG_DEFAULT_PROTOCOL_LOCKED);
        box.exec();
        return;
    }
    setMainUIState(PROTOCOL_UI_EDIT);
}

void ProtocolFrame::on_BUTTON_LOAD_clicked()
{
    setMainUIState(PROTOCOL_UI_VIEW);
    const QString name = currentName();
    if (name.isEmpty())
        return;
    // Written before the notice, so that "loaded" is only said when it is true.
    if (!save(name)
        || !WritePrivateProfileString("Current Protocol", "Name", name.toStdString(),
                                      SystemPaths::settings())) {
        showError(tr("<p><b>Error!</b><br/><br/>The protocol could not be loaded.<br/>"
                     "Please try again.</p>"));
        return;
    }
    MessageDlg box(MSG_PROTOCOL_LOADED);
    box.exec();
    emit signalSetCurrentProtocol(name);
}

void ProtocolFrame::on_BUTTON_DELETE_clicked()
{
    const QString name = currentName();
    if (name.isEmpty())
        return;
    if (name == QLatin1String(DefaultProtocol)) {
        MessageDlg box(MSG_DEFAULT_PROTOCOL_LOCKED);
        box.exec();
        return;
    }
    MessageDlg question(MSG_PROTOCOL_DELETE);
    if (question.exec() != QDialog::Accepted)
        return;

    std::string current;
    ReadPrivateProfileString("Current Protocol", "Name", "", current, SystemPaths::settings());
    const QString file = SystemPaths::map(protocolPath(name));
    const QFileInfo info(file);
    if ((info.exists() || info.isSymLink()) && !QFile::remove(file)) {
        showError(tr("<p><b>Error!</b><br/><br/>The protocol could not be deleted.<br/>"
                     "Please try again.</p>"));
        return;
    }
    // The list makes the next entry current (the previous one after the last).
    delete ui->LIST->takeItem(ui->LIST->currentRow());

    if (name == QString::fromStdString(current)) {
        ui->LIST->setCurrentRow(0);
        WritePrivateProfileString("Current Protocol", "Name", DefaultProtocol,
                                  SystemPaths::settings());
        emit signalSetCurrentProtocol(QString::fromLatin1(DefaultProtocol));
    }
}

void ProtocolFrame::on_BUTTON_SAVE_AS_clicked()
{
    setMainUIState(PROTOCOL_UI_VIEW);
    SaveAsDlg dialog(currentName(), nullptr);
    connect(&dialog, &SaveAsDlg::signalSave, this, &ProtocolFrame::slotSave);
    connect(this, &ProtocolFrame::signalSaveCompleted, &dialog, &SaveAsDlg::slotSaveCompleted);
    connect(this, &ProtocolFrame::signalSaveFailed, &dialog, &SaveAsDlg::slotSaveFailed);
    dialog.exec();
}

void ProtocolFrame::slotSave(const QString &name)
{
    if (!SaveAsDlg::isValidName(name) || name == QLatin1String(DefaultProtocol)) {
        qDebug() << Q_FUNC_INFO << "refused name" << name;
        emit signalSaveFailed();
        return;
    }
    const bool listed = !ui->LIST->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive)
                             .isEmpty();
    if (listed) {
        MessageDlg question(MSG_REPLACE_FILE);
        if (question.exec() != QDialog::Accepted) {
            emit signalSaveFailed();
            return;
        }
    }
    if (!save(name)) {
        showError(tr("<p><b>Error!</b><br/><br/>The protocol could not be saved.<br/>"
                     "Please try again.</p>"));
        emit signalSaveFailed();
        return;
    }
    if (!listed)
        ui->LIST->addItem(name);
    emit signalSaveCompleted();
}

void ProtocolFrame::stepInteger(QLabel *field, int step, int minimum, int maximum)
{
    const int value = integerOf(field);
    if ((step > 0 && value < maximum) || (step < 0 && value > minimum))
        field->setText(QString::number(value + step));
}

void ProtocolFrame::on_BUTTON_DILUTION_FACTOR_UP_clicked()
{
    const int value = integerOf(ui->LABEL_DILUTION_FACTOR);
    int step = 0;
    if (value < 10)
        step = 1;
    else if (value < 100)
        step = 10;
    else if (value < 1000)
        step = 100;
    else if (value < MaximumDilution)
        step = 1000;
    if (step)
        ui->LABEL_DILUTION_FACTOR->setText(QString::number(value + step));
}

void ProtocolFrame::on_BUTTON_DILUTION_FACTOR_DOWN_clicked()
{
    const int value = integerOf(ui->LABEL_DILUTION_FACTOR);
    int step = 0;
    if (value >= 2 && value <= 10)
        step = 1;
    else if (value >= 11 && value <= 100)
        step = 10;
    else if (value >= 101 && value <= 1000)
        step = 100;
    else if (value >= 1001 && value <= MaximumDilution)
        step = 1000;
    if (step)
        ui->LABEL_DILUTION_FACTOR->setText(QString::number(value - step));
}

// Sizes are computed in single precision, as the counting run reads them.
void ProtocolFrame::on_BUTTON_MIN_CELL_SIZE_UP_clicked()
{
    const float value = sizeOf(ui->LABEL_MIN_CELL_SIZE);
    const float maximum = sizeOf(ui->LABEL_MAX_CELL_SIZE);
    const float step = value >= 1.0f ? 1.0f : 0.1f;
    const float next = value + step;
    if (maximum > next)
        setSize(ui->LABEL_MIN_CELL_SIZE, next);
}

void ProtocolFrame::on_BUTTON_MIN_CELL_SIZE_DOWN_clicked()
{
    const float value = sizeOf(ui->LABEL_MIN_CELL_SIZE);
    if (value > 1.0f)
        setSize(ui->LABEL_MIN_CELL_SIZE, value - 1.0f);
    else if (value > MinimumSizeFloor)
        setSize(ui->LABEL_MIN_CELL_SIZE, value - 0.1f);
}

void ProtocolFrame::on_BUTTON_MAX_CELL_SIZE_UP_clicked()
{
    const float value = sizeOf(ui->LABEL_MAX_CELL_SIZE);
    if (value < MaximumSize)
        setSize(ui->LABEL_MAX_CELL_SIZE, value + (value >= 1.0f ? 1.0f : 0.1f));
}

void ProtocolFrame::on_BUTTON_MAX_CELL_SIZE_DOWN_clicked()
{
    const float value = sizeOf(ui->LABEL_MAX_CELL_SIZE);
    const float minimum = sizeOf(ui->LABEL_MIN_CELL_SIZE);
    const float step = value > 1.0f ? 1.0f : 0.1f;
    const float floor = minimum + step;
    if (value > floor)
        setSize(ui->LABEL_MAX_CELL_SIZE, value - step);
}

void ProtocolFrame::on_BUTTON_ROUNDNESS_UP_clicked()
{
    stepInteger(ui->LABEL_ROUNDNESS, 1, 0, 100);
}

void ProtocolFrame::on_BUTTON_ROUNDNESS_DOWN_clicked()
{
    stepInteger(ui->LABEL_ROUNDNESS, -1, 0, 100);
}

void ProtocolFrame::on_BUTTON_DECLUSTERING_LEVEL_UP_clicked()
{
    stepInteger(ui->LABEL_DECLUSTERING_LEVEL, 1, 0, 10);
}

void ProtocolFrame::on_BUTTON_DECLUSTERING_LEVEL_DOWN_clicked()
{
    stepInteger(ui->LABEL_DECLUSTERING_LEVEL, -1, 0, 10);
}

void ProtocolFrame::on_BUTTON_DETECTION_SENSITIVITY_UP_clicked()
{
    stepInteger(ui->LABEL_DETECTION_SENSITIVITY, 1, 0, 9);
}

void ProtocolFrame::on_BUTTON_DETECTION_SENSITIVITY_DOWN_clicked()
{
    stepInteger(ui->LABEL_DETECTION_SENSITIVITY, -1, 0, 9);
}
