#include "MessageDlg.h"
#include "ui_MessageDlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <QTimer>

namespace {

struct MessageEntry
{
    MessageType type;
    MessageButtonVisibility buttons;
    const char *text;
};

// "\n" breaks a plain text; texts with tags are rich text.
const MessageEntry s_messages[] = {
    {MSG_DEFAULT_PROTOCOL_LOCKED, MSG_BUTTON_OK,
     "The DEFAULT protocol cannot be edited or deleted.\nPlease select another protocol."},
    {MSG_PROTOCOL_LOADED, MSG_BUTTON_OK, "The selected protocol has been loaded."},
    {MSG_SERIAL_COMMUNICATION, MSG_BUTTON_OK,
     "<p><b>Error!</b><br/><br/>The controller board does not answer.<br/>"
     "Please restart the instrument.</p>"},
    {MSG_PROTOCOL_DELETE, MSG_BUTTON_OK_CANCEL,
     "Are you sure you want to delete the\nthe selected protocol?"},
    {MSG_REPLACE_FILE, MSG_BUTTON_OK_CANCEL,
     "There is already a file with the same name in this location. Do you want to replace it?"},
    {MSG_CAMERA, MSG_BUTTON_OK,
     "<p><b>Error!</b><br/><br/>The camera was not found.<br/>"
     "Please restart the instrument.</p>"},
    {MSG_POWER_OFF, MSG_BUTTON_OK_CANCEL, "Do you want to turn off the instrument?"},
    {MSG_CALIBRATION_FAILED, MSG_BUTTON_OK,
     "<p><b>Error!</b><br/><br/>The calibration failed.<br/>Please try again.</p>"},
    {MSG_EJECT_FAILED, MSG_BUTTON_OK,
     "<p><b>Error!</b><br/><br/>The slide could not be ejected.<br/>Please try again.</p>"},
    {MSG_EXPORT_SUCCEEDED, MSG_BUTTON_OK, "The results were successfully exported."},
    {MSG_ERASE_ALL, MSG_BUTTON_OK_CANCEL,
     "<p><b>Warning!</b><br/><br/>All previous count results stored on this instrument "
     "will be permanently deleted.</p>"},
    {MSG_INSERT_USB, MSG_BUTTON_OK, "<p><b>Error!</b><br/><br/>Insert a USB drive.</p>"},
    {MSG_INVALID_DATE, MSG_BUTTON_OK,
     "The date you specified does not exist.\nPlease enter a valid date."},
    {MSG_INVALID_TIME, MSG_BUTTON_OK,
     "The time you specified does not exist.\nPlease enter a valid time."},
    {MSG_CONNECTING, MSG_BUTTON_NONE,
     "<p><b>Connecting...</b><br/><br/><br/>Depending on your network speed, this may take "
     "from a few seconds to a couple of minutes.</p>"},
    {MSG_DEMO_INSTALLED, MSG_BUTTON_OK_SKIP_CANCEL,
     "<p>Demo program is already installed.<br/>If you want to overwrite it, press OK.<br/>"
     "If you want to run it, press Skip.<br/>Otherwise, press Cancel."},
    {MSG_DEMO_FOUND, MSG_BUTTON_OK_CANCEL,
     "A demo software has been found.<br/>Do you want to install it?"},
    {MSG_UNACCEPTABLE_FOLDER_NAME, MSG_BUTTON_OK,
     "<p><b>Error!</b><br/><br/>Unacceptable folder name is used.<br/>Please try again.</p>"},
    {MSG_DEBUG_AUTOFOCUS_ENABLED, MSG_BUTTON_OK, "Debug Autofocus enabled"},
    {MSG_DEBUG_AUTOFOCUS_DISABLED, MSG_BUTTON_OK, "Debug Autofocus disabled"},
    {MSG_DEBUG_CALIBRATION_ENABLED, MSG_BUTTON_OK, "Debug Calibration enabled"},
    {MSG_DEBUG_CALIBRATION_DISABLED, MSG_BUTTON_OK, "Debug Calibration disabled"},
};

} // namespace

MessageDlg::MessageDlg(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_MessageDlg)
    , m_RaiseTimer(new QTimer(this))
    , m_BusyTimer(new QTimer(this))
{
    init();
}

MessageDlg::MessageDlg(MessageType type, QWidget *parent)
    : MessageDlg(parent)
{
    setMessageType(type);
}

MessageDlg::~MessageDlg()
{
    delete ui;
}

void MessageDlg::init()
{
    ui->setupUi(this);
    setModal(true);
    // Keeps the box above the full-screen window.
    m_RaiseTimer->setInterval(1000);
    connect(m_RaiseTimer, &QTimer::timeout, this, [this] {
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            raise();
    });
    m_BusyTimer->setInterval(300);
    connect(m_BusyTimer, &QTimer::timeout, this, &MessageDlg::slotAnimate);
    ui->LABEL_BUSY->hide();
    setMessageButtonVisibility(MSG_BUTTON_OK_CANCEL);
}

bool MessageDlg::lookup(MessageType type, QString *text, MessageButtonVisibility *visibility)
{
    for (const MessageEntry &entry : s_messages) {
        if (entry.type == type) {
            *text = QString::fromUtf8(entry.text);
            *visibility = entry.buttons;
            return true;
        }
    }
    return false;
}

void MessageDlg::setMessage(const QString &text, Qt::TextFormat format)
{
    m_Text = text;
    // Rich texts need not start with a tag ("...found.<br/>Do you...").
    if (format == Qt::AutoText)
        format = Qt::mightBeRichText(text) ? Qt::RichText : Qt::PlainText;
    ui->LABEL_MESSAGE->setTextFormat(format);
    ui->LABEL_MESSAGE->setText(text);
}

QString MessageDlg::message() const
{
    return m_Text;
}

void MessageDlg::setMessageButtonVisibility(MessageButtonVisibility visibility)
{
    m_Visibility = visibility;
    ui->BUTTON_OK->setVisible(visibility == MSG_BUTTON_OK_CANCEL || visibility == MSG_BUTTON_OK
                              || visibility == MSG_BUTTON_OK_SKIP_CANCEL);
    ui->BUTTON_SKIP->setVisible(visibility == MSG_BUTTON_OK_SKIP_CANCEL);
    ui->BUTTON_CANCEL->setVisible(visibility == MSG_BUTTON_OK_CANCEL
                                  || visibility == MSG_BUTTON_CANCEL
                                  || visibility == MSG_BUTTON_OK_SKIP_CANCEL);
}

void MessageDlg::setMessageType(MessageType type)
{
    QString text;
    MessageButtonVisibility visibility = MSG_BUTTON_OK;
    if (!lookup(type, &text, &visibility))
        text = QStringLiteral("Message %1").arg(int(type));
    setMessage(text);
    setMessageButtonVisibility(visibility);
    m_Busy = type == MSG_CONNECTING;
    ui->LABEL_BUSY->setVisible(m_Busy);
}

void MessageDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_RaiseTimer->start();
    if (m_Busy)
        m_BusyTimer->start();
}

void MessageDlg::hideEvent(QHideEvent *event)
{
    m_RaiseTimer->stop();
    m_BusyTimer->stop();
    QDialog::hideEvent(event);
}

void MessageDlg::keyPressEvent(QKeyEvent *event)
{
    // A box without buttons stays until its owner closes it.
    if (m_Visibility == MSG_BUTTON_NONE && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MessageDlg::reject()
{
    m_Pressed = MSG_PRESSED_CANCEL;
    QDialog::reject();
}

void MessageDlg::on_BUTTON_OK_clicked()
{
    m_Pressed = MSG_PRESSED_OK;
    accept();
}

void MessageDlg::on_BUTTON_SKIP_clicked()
{
    m_Pressed = MSG_PRESSED_SKIP;
    accept();
}

void MessageDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}

void MessageDlg::slotAnimate()
{
    m_Dots = (m_Dots + 1) % 6;
    QString dots;
    for (int i = 0; i < 5; ++i)
        dots += i < m_Dots ? QStringLiteral("\u25CF ") : QStringLiteral("\u25CB ");
    ui->LABEL_BUSY->setText(dots.trimmed());
}
