#pragma once

#include <QDialog>

class Ui_ReviewOptionsDialog;

// The review options: switches the scale bar of the image views on or off. The choice is
// kept in "Scale Bar" "Enable"; the dialog ends accepted when the scale bar is on.
class ReviewOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ReviewOptionsDialog(QWidget *parent = nullptr);
    ~ReviewOptionsDialog() override;

    // "Scale Bar" "Enable" as every reader takes it: "False" is off; anything else is on,
    // and a value other than "True" is written back as "True".
    static bool readScaleBarEnabled();

public Q_SLOTS:
    void reject() override;

private Q_SLOTS:
    void on_BUTTON_SCALEBAR_ENABLE_clicked(bool checked);
    void on_BUTTON_CLOSE_clicked();

private:
    Ui_ReviewOptionsDialog *ui;
};
