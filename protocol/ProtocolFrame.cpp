#include "ProtocolFrame.h"

ProtocolFrame::ProtocolFrame(QWidget *parent)
    : QFrame(parent)
{
}

ProtocolFrame::~ProtocolFrame() = default;

void ProtocolFrame::slotEnableSecurityMode(bool enable)
{
    Q_UNUSED(enable)
}
