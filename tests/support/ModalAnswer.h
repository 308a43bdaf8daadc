#pragma once

#include <QString>
#include <Qt>
#include <functional>

class QWidget;

// Answers the next modal dialog that opens: waits (polling, bounded) until
// QApplication::activeModalWidget() is a new one, then hands it to the function.
namespace ModalAnswer {

void next(std::function<void(QWidget *modal)> answer, int timeoutMs = 5000);

// Clicks the named button (for example "BUTTON_OK") of the next modal dialog.
// When text is given, it is stored there as the dialog's message text.
void clickNext(const QString &buttonName, QString *text = nullptr, int timeoutMs = 5000);

// The message of a MessageDlg, or an empty string for any other widget.
QString messageOf(QWidget *modal);
// The same message as the box shows it (rich text as it reads).
QString shownMessageOf(QWidget *modal);

// What a label of that text format, or a tooltip (Qt::AutoText), shows for a text.
QString shownText(const QString &text, Qt::TextFormat format = Qt::AutoText);

} // namespace ModalAnswer
