#pragma once

#include <QDialog>

class Ui_CountingOptionsDialog;

// How a count runs, kept in section "Counting options" of the settings file.
struct CountingOptions
{
    int countingField = 10;       // "Counting field": fields per count (reset at start-up)
    bool autofocusEveryField = true;  // "Autofocus": "1" every field, "0" the first only
    bool ejectOn = false;         // "Eject on": "yes" ejects the slide after a count

    // Missing or unknown values are written back with their defaults.
    static CountingOptions read();
    void write() const;
};

// The counting options: autofocus on every field or the first only, and whether the
// slide comes out after a count. Closing it with the close button stores the choice;
// Escape leaves the settings as they were.
class CountingOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CountingOptionsDialog(QWidget *parent = nullptr);
    ~CountingOptionsDialog() override;

private Q_SLOTS:
    void on_BUTTON_CLOSE_clicked();

private:
    Ui_CountingOptionsDialog *ui;
};
