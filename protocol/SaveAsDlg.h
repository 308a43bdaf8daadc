#pragma once

#include <QDialog>

class Ui_SaveAsDlg;

// The name dialog of SAVE AS: a name field over the on-screen keyboard. Only letters,
// digits, "-" and "_" get into the field, from the on-screen keyboard or an attached
// one; the protocol screen answers signalSave with slotSaveCompleted or slotSaveFailed.
class SaveAsDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxNameLength = 37;

    SaveAsDlg(const QString &name, QWidget *parent = nullptr);
    ~SaveAsDlg() override;

    void setFilename(const QString &name);
    QString filename() const;

    // 1 to 37 letters, digits, "-" and "_": a name that is safe as a file name.
    static bool isValidName(const QString &name);

public Q_SLOTS:
    void slotSaveCompleted();
    void slotSaveFailed();

    void on_EDIT_FILENAME_returnPressed();
    void on_BUTTON_EXIT_clicked();

Q_SIGNALS:
    void signalSave(const QString &name);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui_SaveAsDlg *ui;
};
