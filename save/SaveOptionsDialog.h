#pragma once

#include <QDialog>

class Ui_SaveOptionsDialog;

// What a save writes, kept in section "Save options" of the settings file as "On"/"Off".
struct SaveOptions
{
    bool analysedImages = true;   // "Analysed images": the annotated TIFF per field
    bool rawImages = true;        // "Raw images": the camera frame per field
    bool report = true;           // "Report": the PDF report
    bool csv = true;              // "CSV": the count's own CSV file

    // Missing or unknown values are written back as "On".
    static SaveOptions read();
    void write() const;
};

// The save options: which outputs a save writes. Closing it with the close button
// stores the choice; Escape leaves the settings as they were.
class SaveOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SaveOptionsDialog(QWidget *parent = nullptr);
    ~SaveOptionsDialog() override;

private Q_SLOTS:
    void on_BUTTON_CLOSE_clicked();

private:
    Ui_SaveOptionsDialog *ui;
};
