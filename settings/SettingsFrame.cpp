#include "SettingsFrame.h"

bool SettingsFrame::s_SlideEjected = false;

SettingsFrame::SettingsFrame(QWidget *parent)
    : QFrame(parent)
{
}

SettingsFrame::~SettingsFrame() = default;

void SettingsFrame::initialize()
{
}

void SettingsFrame::SetSlideEjection(bool ejected)
{
    s_SlideEjected = ejected;
}

bool SettingsFrame::slideEjection()
{
    return s_SlideEjected;
}

void SettingsFrame::slotUpdateCurrentDateTime(const QString &date, const QString &time)
{
    Q_UNUSED(date)
    Q_UNUSED(time)
}

void SettingsFrame::slotEnableSecurityMode(bool enable)
{
    Q_UNUSED(enable)
}
