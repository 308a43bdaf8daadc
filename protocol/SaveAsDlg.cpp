#include "SaveAsDlg.h"
#include "ui_SaveAsDlg.h"

#include "KeyboardFrame.h"
#include "MessageDlg.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QScreen>

namespace {

const char DefaultProtocol[] = "DEFAULT";

} // namespace

SaveAsDlg::SaveAsDlg(const QString &name, QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_SaveAsDlg)
{
    ui->setupUi(this);
    setModal(true);
    ui->EDIT_FILENAME->setMaxLength(MaxNameLength);
    ui->EDIT_FILENAME->setClearButtonEnabled(true);
    for (QAction *action : ui->EDIT_FILENAME->findChildren<QAction *>()) {
        if (action->objectName() == QLatin1String("_q_qlineeditclearaction"))
            action->setIcon(QIcon(QStringLiteral(":/Common/edit/clear.png")));
    }
    // Keys of an attached keyboard go through the same filter as the on-screen ones.
    ui->EDIT_FILENAME->installEventFilter(this);
    ui->EDIT_FILENAME->setContextMenuPolicy(Qt::NoContextMenu);
    ui->EDIT_FILENAME->setDragEnabled(false);
    ui->EDIT_FILENAME->setAcceptDrops(false);
    ui->Keyboard->setObject(this);
    ui->Keyboard->setEnabled(Qt::Key_Period, false);
    ui->Keyboard->setEnabled(Qt::Key_Comma, false);
    setFilename(name);
    ui->EDIT_FILENAME->setFocus();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

SaveAsDlg::~SaveAsDlg()
{
    delete ui;
}

bool SaveAsDlg::isValidName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,37}$"));
    return pattern.match(name).hasMatch();
}

void SaveAsDlg::setFilename(const QString &name)
{
    ui->EDIT_FILENAME->setText(name);
    ui->EDIT_FILENAME->end(false);
}

QString SaveAsDlg::filename() const
{
    return ui->EDIT_FILENAME->text();
}

bool SaveAsDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui->EDIT_FILENAME)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return true;
    }
    // The dialog hands the field its focus as if by Tab, which would select the name so
    // that the first key replaced it; the cursor stays at the end instead.
    if (event->type() == QEvent::FocusIn
        && static_cast<QFocusEvent *>(event)->reason() == Qt::TabFocusReason) {
        QFocusEvent focus(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(ui->EDIT_FILENAME, &focus);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SaveAsDlg::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    if (!isEnabled())
        return;
    const int key = event->key();
    switch (key) {
    case Qt::Key_Backspace:
        ui->EDIT_FILENAME->backspace();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit ui->EDIT_FILENAME->returnPressed();
        return;
    default:
        break;
    }
    // Control, Alt and Meta combinations are commands, not characters.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return;
    // An attached keyboard says what it typed (Shift and Caps Lock included); the
    // on-screen keyboard sends key codes only, with Shift for capitals.
    QString text = event->text();
    if (text.isEmpty()) {
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (key == Qt::Key_Minus || key == Qt::Key_Underscore
            || (key >= Qt::Key_0 && key <= Qt::Key_9))
            text = QChar(key);
        else if (key >= Qt::Key_A && key <= Qt::Key_Z)
            text = modifiers ? QString(QChar(key)) : QString(QChar(key)).toLower();
    }
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-]+$"));
    // insert() keeps the field's 37-character limit.
    if (allowed.match(text).hasMatch())
        ui->EDIT_FILENAME->insert(text);
}

void SaveAsDlg::on_EDIT_FILENAME_returnPressed()
{
    if (!isEnabled())
        return;
    setEnabled(false);
    const QString name = ui->EDIT_FILENAME->text();
    if (name == QLatin1String(DefaultProtocol)) {
        MessageDlg box(MSG_DEFAULT_PROTOCOL_LOCKED);
        box.exec();
        slotSaveFailed();
        return;
    }
    if (!isValidName(name)) {
        MessageDlg box;
        box.setMessage(tr("<p><b>Error!</b><br/><br/>A protocol name has 1 to 37 letters, "
                          "digits, \"-\" or \"_\".<br/>Please try again.</p>"));
        box.setMessageButtonVisibility(MSG_BUTTON_OK);
        box.exec();
        slotSaveFailed();
        return;
    }
    emit signalSave(name);
}

void SaveAsDlg::on_BUTTON_EXIT_clicked()
{
    accept();
}

void SaveAsDlg::slotSaveCompleted()
{
    setEnabled(true);
    accept();
}

void SaveAsDlg::slotSaveFailed()
{
    setEnabled(true);
    ui->EDIT_FILENAME->setFocus();
}
