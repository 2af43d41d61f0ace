#pragma once

#include "display/QSignalMonitorDisplay.h"
#include "windows/TAcqTestListener.h"

#include <memory>

class QPushButton;
class QResizeEvent;
class TAcqSource;
class TQtAcqDriver;
class TSignalBuffer16;

// The acquisition test of the configuration dialog: a live display of a
// source's raw signal in a window-modal dialog window titled "Acquisition
// test", deleted when closed. It owns the source, the raw signal and the
// driver that fills it; however the window goes (closed by the operator,
// or with its parent dialog), the driver is stopped, so no thread of the
// test outlives it, and then the driver, the source and the signal are
// released. A "Close" button and Escape close it.
class AcqTestWindow : public QSignalMonitorDisplay
{
    Q_OBJECT

public:
    static constexpr int BlockSize = 4096;
    static constexpr int Capacity = 40960;

    // Builds the raw signal in the source's format and the driver on it;
    // nothing runs yet.
    AcqTestWindow(std::unique_ptr<TAcqSource> source, QWidget* parent);
    ~AcqTestWindow() override;

    // Starts the driver and shows the window maximised.
    void start();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<TAcqSource> m_source;
    std::unique_ptr<TSignalBuffer16> m_signal;
    std::unique_ptr<TQtAcqDriver> m_driver;
    TAcqTestListener m_listener;
    // "Close", in the top-right corner over the traces.
    QPushButton* m_closeButton;
};
