#pragma once

#include <QDialog>

class Ui_SystemInformationDialog;

// The modal dialog of the instrument's fixed facts (model, camera, lens, ...) and the
// running software version.
class SystemInformationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SystemInformationDialog(QWidget *parent = nullptr);
    ~SystemInformationDialog() override;

    void setSoftwareVersion(const QString &version);
    QString softwareVersion() const;

private Q_SLOTS:
    void on_BUTTON_OK_clicked();

private:
    Ui_SystemInformationDialog *ui;
};
