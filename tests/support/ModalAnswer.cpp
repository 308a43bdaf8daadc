#include "ModalAnswer.h"

#include "MessageDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <memory>

namespace ModalAnswer {

void next(std::function<void(QWidget *modal)> answer, int timeoutMs)
{
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != before.data() && modal->isVisible()) {
            answer(modal);
            *poll = nullptr;
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            qWarning("ModalAnswer: no modal dialog appeared");
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(10, [poll]() { if (*poll) (*poll)(); });
    };
    QTimer::singleShot(0, [poll]() { if (*poll) (*poll)(); });
}

void clickNext(const QString &buttonName, QString *text, int timeoutMs)
{
    next([=](QWidget *modal) {
        if (text)
            *text = messageOf(modal);
        auto *button = modal->findChild<QAbstractButton *>(buttonName);
        if (!button) {
            qWarning("ModalAnswer: no button %s", qPrintable(buttonName));
            return;
        }
        QTest::mouseClick(button, Qt::LeftButton);
    }, timeoutMs);
}

QString messageOf(QWidget *modal)
{
    if (auto *box = qobject_cast<MessageDlg *>(modal))
        return box->message();
    return QString();
}

QString shownMessageOf(QWidget *modal)
{
    auto *label = qobject_cast<MessageDlg *>(modal)
        ? modal->findChild<QLabel *>(QStringLiteral("LABEL_MESSAGE")) : nullptr;
    return label ? shownText(label->text(), label->textFormat()) : QString();
}

QString shownText(const QString &text, Qt::TextFormat format)
{
    if (format == Qt::AutoText)
        format = Qt::mightBeRichText(text) ? Qt::RichText : Qt::PlainText;
    if (format != Qt::RichText)
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

} // namespace ModalAnswer
