#include "windows/AcqTestWindow.h"

#include "acquisition/TAcqSource.h"
#include "acquisition/TQtAcqDriver.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>

namespace {

constexpr int CloseMargin = 10;

} // namespace

AcqTestWindow::AcqTestWindow(std::unique_ptr<TAcqSource> source, QWidget* parent)
    : QSignalMonitorDisplay(parent)
    , m_source(std::move(source))
    , m_signal(std::make_unique<TSignalBuffer16>(m_source->channelCount(), m_source->sampleRate(),
                                                 BlockSize, Capacity))
    , m_driver(std::make_unique<TQtAcqDriver>(m_source.get(), m_signal.get()))
    , m_listener(*this)
    , m_closeButton(new QPushButton(tr("Close"), this))
{
    m_signal->setResolutionBits(m_source->resolutionBits());
    m_signal->setRange(m_source->minimumValue(), m_source->maximumValue());
    // Named so that the display labels its leads.
    for (int channel = 0; channel < m_signal->channelCount(); ++channel)
        m_signal->setChannelName(channel, TLeadSet::leadName(channel));
    m_signal->addListener(&m_listener);
    m_driver->addListener(&m_listener);

    setWindowFlags(Qt::Dialog);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Acquisition test"));
    setAttribute(Qt::WA_DeleteOnClose);
    setSignal(m_signal.get());
    m_closeButton->setObjectName(QStringLiteral("btnClose"));
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

void AcqTestWindow::resizeEvent(QResizeEvent* event)
{
    QSignalMonitorDisplay::resizeEvent(event);
    m_closeButton->adjustSize();
    m_closeButton->move(width() - m_closeButton->width() - CloseMargin, CloseMargin);
    m_closeButton->raise();
}

AcqTestWindow::~AcqTestWindow()
{
    m_driver->stop();
    setSignal(nullptr);
    m_signal->removeListener(&m_listener);
    m_driver.reset();
    m_source.reset();
    m_signal.reset();
}

void AcqTestWindow::start()
{
    m_driver->start();
    showMaximized();
}
