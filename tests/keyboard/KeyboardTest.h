#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QList>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QtTest>

// A key-event target that keeps every key press and release it is sent.
class KeyRecorder : public QObject
{
public:
    struct Key
    {
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };

    QList<Key> keys;

    // The key codes of the presses, as characters ("AB-1").
    QString pressed() const
    {
        QString codes;
        for (const Key &k : keys) {
            if (k.type == QEvent::KeyPress)
                codes += QChar(k.key);
        }
        return codes;
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
            return QObject::event(e);
        auto *k = static_cast<QKeyEvent *>(e);
        keys << Key{k->type(), k->key(), k->modifiers(), k->text()};
        return true;
    }
};

// Touches the named keys (BUTTON_A, BUTTON_SHIFT, ...) of a keyboard, in order.
inline void touchKeys(QWidget *keyboard, const QStringList &names)
{
    for (const QString &name : names) {
        auto *key = keyboard->findChild<QPushButton *>(name);
        QVERIFY2(key, qPrintable(name));
        QTest::mouseClick(key, Qt::LeftButton);
    }
}
