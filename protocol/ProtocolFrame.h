#pragma once

#include <QFrame>

class QLabel;
class Ui_ProtocolFrame;

enum ProtocolUIState {
    PROTOCOL_UI_VIEW = 0,
    PROTOCOL_UI_EDIT = 1,
};

// The Protocol menu screen: the list of counting protocols, the six parameters of the
// selected one with their steppers, and LOAD, EDIT, DELETE and SAVE AS. A protocol is
// one INI file in /root/ORBELIN_Vn/Protocol; "DEFAULT" stands for the built-in values.
class ProtocolFrame : public QFrame
{
    Q_OBJECT

public:
    explicit ProtocolFrame(QWidget *parent = nullptr);
    ~ProtocolFrame() override;

    void setMainUIState(ProtocolUIState state);
    void searchProtocolList();
    // Writes the six shown values into the named protocol's file; false when the file
    // could not be written.
    bool save(const QString &name);

    // "/root/ORBELIN_Vn/Protocol/<name>.ini"
    static QString protocolPath(const QString &name);

public Q_SLOTS:
    void slotEnableSecurityMode(bool on);
    void slotSave(const QString &name);

    void on_LIST_currentTextChanged(const QString &name);
    void on_BUTTON_EDIT_clicked();
    void on_BUTTON_LOAD_clicked();
    void on_BUTTON_DELETE_clicked();
    void on_BUTTON_SAVE_AS_clicked();

    void on_BUTTON_DILUTION_FACTOR_UP_clicked();
    void on_BUTTON_DILUTION_FACTOR_DOWN_clicked();
    void on_BUTTON_MIN_CELL_SIZE_UP_clicked();
    void on_BUTTON_MIN_CELL_SIZE_DOWN_clicked();
    void on_BUTTON_MAX_CELL_SIZE_UP_clicked();
    void on_BUTTON_MAX_CELL_SIZE_DOWN_clicked();
    void on_BUTTON_ROUNDNESS_UP_clicked();
    void on_BUTTON_ROUNDNESS_DOWN_clicked();
    void on_BUTTON_DECLUSTERING_LEVEL_UP_clicked();
    void on_BUTTON_DECLUSTERING_LEVEL_DOWN_clicked();
    void on_BUTTON_DETECTION_SENSITIVITY_UP_clicked();
    void on_BUTTON_DETECTION_SENSITIVITY_DOWN_clicked();

Q_SIGNALS:
    void signalSetCurrentProtocol(const QString &name);
    void signalSaveCompleted();
    void signalSaveFailed();

private:
    QList<QLabel *> valueFields() const;
    QString currentName() const;
    void stepInteger(QLabel *field, int step, int minimum, int maximum);

    Ui_ProtocolFrame *ui;
};
