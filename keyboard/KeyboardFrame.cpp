#include "KeyboardFrame.h"
#include "ui_KeyboardFrame.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QKeyEvent>

namespace {

struct KeyEntry
{
    const char *button;
    int key;
};

const KeyEntry s_functionKeys[] = {
    {"BUTTON_BAR", Qt::Key_Minus},
    {"BUTTON_UNDERBAR", Qt::Key_Underscore},
    {"BUTTON_COMMA", Qt::Key_Comma},
    {"BUTTON_PERIOD", Qt::Key_Period},
    {"BUTTON_SPACE", Qt::Key_Space},
    {"BUTTON_BACKSPACE", Qt::Key_Backspace},
    {"BUTTON_ENTER", Qt::Key_Enter},
};

} // namespace

KeyboardFrame::KeyboardFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_KeyboardFrame)
{
    ui->setupUi(this);

    for (const KeyEntry &entry : s_functionKeys)
        addKey(QString::fromLatin1(entry.button), entry.key);
    // Qt's key codes of letters and digits are their upper-case ASCII codes.
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key)
        addKey(QStringLiteral("BUTTON_") + QChar(key), key);
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key)
        addKey(QStringLiteral("BUTTON_") + QChar(key), key);
    m_Keys.insert(DateTimeKey, ui->BUTTON_DATETIME);
}

KeyboardFrame::~KeyboardFrame()
{
    delete ui;
}

void KeyboardFrame::addKey(const QString &name, int key)
{
    auto *b = findChild<QAbstractButton *>(name);
    if (!b) {
        qDebug() << Q_FUNC_INFO << "no key" << name;
        return;
    }
    m_Keys.insert(key, b);
    connect(b, &QAbstractButton::clicked, this, [this, key] { sendKey(key); });
}

void KeyboardFrame::setObject(QObject *target)
{
    m_Target = target;
}

QAbstractButton *KeyboardFrame::button(int key) const
{
    return m_Keys.value(key, nullptr);
}

void KeyboardFrame::setEnabled(int key, bool enabled)
{
    if (QAbstractButton *b = button(key))
        b->setEnabled(enabled);
    else
        qDebug() << Q_FUNC_INFO << "no key with code" << key;
}

bool KeyboardFrame::isKeyEnabled(int key) const
{
    QAbstractButton *b = button(key);
    return b && b->isEnabled();
}

bool KeyboardFrame::shiftOn() const
{
    return ui->BUTTON_SHIFT->isChecked();
}

QString KeyboardFrame::keyText(int key, Qt::KeyboardModifiers modifiers)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(key);
        return QString(modifiers & Qt::ShiftModifier ? letter : letter.toLower());
    }
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Minus
        || key == Qt::Key_Underscore || key == Qt::Key_Space || key == Qt::Key_Period
        || key == Qt::Key_Comma) {
        return QString(QChar(key));
    }
    return QString();
}

void KeyboardFrame::on_BUTTON_SHIFT_toggled(bool on)
{
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) {
        if (QAbstractButton *b = button(key))
            b->setText(keyText(key, on ? Qt::ShiftModifier : Qt::NoModifier));
    }
}

void KeyboardFrame::on_BUTTON_DATETIME_clicked()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    for (const QChar digit : stamp)
        sendKey(Qt::Key_0 + digit.digitValue());
}

void KeyboardFrame::sendKey(int key)
{
    const Qt::KeyboardModifiers modifiers = shiftOn() ? Qt::ShiftModifier : Qt::NoModifier;
    if (!m_Target)
        return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(m_Target, &press);
    // The press may have closed and deleted the receiver.
    if (!m_Target)
        return;
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(m_Target, &release);
}
