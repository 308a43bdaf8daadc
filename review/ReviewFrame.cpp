#include "ReviewFrame.h"

ReviewFrame::ReviewFrame(QWidget *parent)
    : QFrame(parent)
{
}

ReviewFrame::~ReviewFrame() = default;

void ReviewFrame::initialize()
{
}

void ReviewFrame::slotAppendCSVData(std::string line)
{
    Q_UNUSED(line)
}

void ReviewFrame::slotFilenameReplaced(const QString &name)
{
    Q_UNUSED(name)
}

void ReviewFrame::slotEnableScaleBarDisplay(bool enable)
{
    Q_UNUSED(enable)
}

void ReviewFrame::slotEnableSecurityMode(bool enable)
{
    Q_UNUSED(enable)
}
