#pragma once

#include "acquisition/TAcqListener.h"
#include "analysis/signal/TSignal.h"

#include <QCoreApplication>

class QSignalMonitorDisplay;

// The listener of the acquisition test: as the raw signal's listener it
// redraws the test display after every appended block; as the driver's
// listener it ignores data and pacemaker pulses and shows a failure to the
// operator.
class TAcqTestListener : public TSignalListener, public TAcqListener
{
    Q_DECLARE_TR_FUNCTIONS(TAcqTestListener)

public:
    explicit TAcqTestListener(QSignalMonitorDisplay& display) : m_display(display) {}

    void signalAppended(TSignal* signal) override;
    void onAcqData(TAcqDriver* driver) override;
    void onAcqPacemaker(TAcqDriver* driver, int sampleOffset) override;
    // A critical box titled "Error" with the message, over the test display.
    void onAcqError(TAcqDriver* driver, const std::string& message) override;

private:
    QSignalMonitorDisplay& m_display;
};
