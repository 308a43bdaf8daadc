#include "CountFrame.h"

#include "QtSerialPort.h"

CountFrame::CountFrame(QWidget *parent)
    : QFrame(parent)
{
}

CountFrame::~CountFrame() = default;

void CountFrame::initialize()
{
    QtSerialPort::instance()->sendCommand(QString::fromLatin1(BoardCommand::SlideInsert),
                                          BoardCommand::MoveTimeoutMs);
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
