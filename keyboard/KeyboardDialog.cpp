#include "KeyboardDialog.h"
#include "ui_KeyboardDialog.h"

#include "KeyboardFrame.h"

#include <QCoreApplication>
#include <QKeyEvent>

KeyboardDialog::KeyboardDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::WindowDoesNotAcceptFocus)
    , ui(new Ui_KeyboardDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    ui->Keyboard->setObject(this);
}

KeyboardDialog::~KeyboardDialog()
{
    delete ui;
}

void KeyboardDialog::setObject(QObject *target)
{
    m_Target = target;
}

void KeyboardDialog::forward(QKeyEvent *event)
{
    if (!m_Target)
        return;
    QString text = event->text();
    if (text.isEmpty())
        text = KeyboardFrame::keyText(event->key(), event->modifiers());
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), text,
                   event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(m_Target, &copy);
}

void KeyboardDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape from an attached keyboard closes, as the close key does.
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    forward(event);
}

void KeyboardDialog::keyReleaseEvent(QKeyEvent *event)
{
    forward(event);
    if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return)
        accept();
}

void KeyboardDialog::on_BUTTON_CLOSE_clicked()
{
    reject();
}
