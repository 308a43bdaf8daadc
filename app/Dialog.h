#pragma once

#include "DateTimer.h"
#include "MediaMonitor.h"

#include <QDialog>

class MouseCursorSelector;
class ORBELIN_Server;
class Ui_Dialog;

// The instrument's one window: the title bar and the four menu screens.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    enum Menu { MENU_COUNT = 0, MENU_REVIEW, MENU_PROTOCOL, MENU_SETTINGS };

    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    void setUIMenu(Menu menu);
    Menu currentMenu() const { return m_Menu; }
    // True when the controller board answered at start-up.
    bool boardFound() const { return m_Board; }
    bool initialized() const { return m_Initialized; }

    MediaMonitor *mediaMonitor() { return &m_MediaMonitor; }

public Q_SLOTS:
    void slotInitialize();
    void slotTerminate();
    void slotSetCurrentProtocol(const QString &name);
    void slotWidgetEnabled(bool enabled);
    void slotNetworkDeviceChanged();
    void slotConnectedAccessPoint();
    void slotDisconnectedAccessPoint();
    void slotUpdateCurrentDateTime(const QString &date, const QString &time);

    void on_BUTTON_COUNT_clicked();
    void on_BUTTON_REVIEW_clicked();
    void on_BUTTON_PROTOCOL_clicked();
    void on_BUTTON_SETTINGS_clicked();
    void on_BUTTON_POWER_clicked();

Q_SIGNALS:
    // Emitted at the end of start-up.
    void signalInitialized();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private:
    void runUpdateScript();
    // Homes the slide and focus stages; false when the board refuses.
    bool setUpStages();
    void leaveSettingsMenu();
    void setTitleButtonsEnabled(bool enabled, bool countEnabled);

    MediaMonitor m_MediaMonitor;
    DateTimer m_DateTimer;
    ORBELIN_Server *m_Server;
    Ui_Dialog *ui;
    MouseCursorSelector *m_CursorSelector = nullptr;
    Menu m_Menu = MENU_COUNT;
    bool m_Board = false;
    bool m_Initialized = false;
    bool m_SettingsClockConnected = false;
};
