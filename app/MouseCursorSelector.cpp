#include "MouseCursorSelector.h"

#include "SystemPaths.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileSystemWatcher>

namespace {
const char InputFolder[] = "/dev/input/by-id";
}

MouseCursorSelector::MouseCursorSelector(QObject *parent)
    : QObject(parent)
    , m_Watcher(new QFileSystemWatcher(this))
{
    const QString folder = SystemPaths::map(QString::fromLatin1(InputFolder));
    // by-id disappears when the last input device goes; watch its parent as well.
    m_Watcher->addPath(SystemPaths::map(QStringLiteral("/dev/input")));
    if (QDir(folder).exists())
        m_Watcher->addPath(folder);
    connect(m_Watcher, &QFileSystemWatcher::directoryChanged, this, &MouseCursorSelector::slotUpdate);
    slotUpdate();
}

MouseCursorSelector::~MouseCursorSelector() = default;

bool MouseCursorSelector::findMouse(const QString &byIdFolder)
{
    const QStringList entries = QDir(byIdFolder).entryList(QDir::System | QDir::Files | QDir::Dirs
                                                           | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1String("-event-mouse")))
            return true;
    }
    return false;
}

void MouseCursorSelector::slotUpdate()
{
    const QString folder = SystemPaths::map(QString::fromLatin1(InputFolder));
    if (QDir(folder).exists() && !m_Watcher->directories().contains(folder))
        m_Watcher->addPath(folder);
    const bool mouse = findMouse(folder);
    if (m_Applied && mouse == m_Mouse)
        return;
    m_Mouse = mouse;
    m_Applied = true;
    if (!qApp)
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    QApplication::setOverrideCursor(QCursor(mouse ? Qt::ArrowCursor : Qt::BlankCursor));
}
