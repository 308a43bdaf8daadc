#include "CountFrame.h"

CountFrame::CountFrame(QWidget *parent)
    : QFrame(parent)
{
}

CountFrame::~CountFrame() = default;

void CountFrame::initialize()
{
}

void CountFrame::terminate()
{
}

bool CountFrame::isLiveView() const
{
    return false;
}

void CountFrame::slideEject()
{
}

void CountFrame::slotAnalysis(const QString &folder)
{
    Q_UNUSED(folder)
}

void CountFrame::slotCSVRemoved()
{
}

void CountFrame::slotCreateLightTable()
{
}

void CountFrame::slotSaveOptionChanged()
{
}

void CountFrame::slotEnableScaleBarDisplay(bool enable)
{
    Q_UNUSED(enable)
}
