#include "windows/TAcqTestListener.h"

#include "display/QSignalMonitorDisplay.h"

#include <QMessageBox>

void TAcqTestListener::signalAppended(TSignal*)
{
    m_display.refresh();
}

void TAcqTestListener::onAcqData(TAcqDriver*) {}

void TAcqTestListener::onAcqPacemaker(TAcqDriver*, int) {}

void TAcqTestListener::onAcqError(TAcqDriver*, const std::string& message)
{
    QMessageBox::critical(&m_display, tr("Error"), QString::fromLocal8Bit(message.c_str()));
}
