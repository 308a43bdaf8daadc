#pragma once

#include <QObject>

class QFileSystemWatcher;

// Shows the mouse cursor only while a mouse is attached; the touch screen needs none.
// Mice are found as "*-event-mouse" entries in /dev/input/by-id.
class MouseCursorSelector : public QObject
{
    Q_OBJECT

public:
    explicit MouseCursorSelector(QObject *parent = nullptr);
    ~MouseCursorSelector() override;

    bool mouseAttached() const { return m_Mouse; }

    // True when the folder lists a mouse.
    static bool findMouse(const QString &byIdFolder);

public Q_SLOTS:
    void slotUpdate();

private:
    QFileSystemWatcher *m_Watcher;
    bool m_Mouse = false;
    bool m_Applied = false;
};
