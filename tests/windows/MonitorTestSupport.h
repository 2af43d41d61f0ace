#pragma once

// Shared by the tests of the monitor window, the electrode panel and the
// configuration dialog: answering modal message boxes, acquisition sources
// whose life can be followed after they are gone, and running the event
// loop until a condition holds.
#include "acquisition/TAcqSource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace monitortest {

// Runs the event loop until the condition holds (true) or the time is up.
// Objects deleted later (windows deleted on close) go as they would in the
// application's event loop.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Answers every modal message box that comes up with the next of the given
// buttons (Ok once they are used up), keeping "title: text" of each.
class ModalBoxAnswerer : public QObject
{
public:
    explicit ModalBoxAnswerer(QList<QMessageBox::StandardButton> answers = {})
        : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start(10);
    }

    bool waitForBoxes(int count) { return waitUntil([&] { return messages.size() >= count; }); }

    QStringList messages;

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        messages.append(box->windowTitle() + QStringLiteral(": ") + box->text());
        const QMessageBox::StandardButton button = m_answers.isEmpty() ? QMessageBox::Ok : m_answers.takeFirst();
        // Clicked, so that the box answers with the button as for the operator.
        if (QAbstractButton* answer = box->button(button))
            answer->click();
        else
            box->done(button);
    }

    QList<QMessageBox::StandardButton> m_answers;
    QTimer m_timer;
};

// What a test source went through and what it is to report, kept beyond
// the source's life.
struct SourceProbe
{
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<bool> destroyed{false};
    // Scripted answers.
    std::atomic<bool> healthy{true};
    std::atomic<bool> electrodeV2Off{false};
    std::atomic<double> battery{0.0};

    // The worker stopped the source as often as it started it.
    bool stopped() const { return starts.load() > 0 && starts.load() == stops.load(); }
};

// A source of kind Base that logs its starts, stops and destruction in a
// probe and answers health, the electrode V2 and the battery from it.
template <typename Base>
class ProbedSource : public Base
{
public:
    template <typename... Args>
    explicit ProbedSource(std::shared_ptr<SourceProbe> probe, Args&&... args)
        : Base(std::forward<Args>(args)...)
        , m_probe(std::move(probe))
    {
    }
    ~ProbedSource() override { m_probe->destroyed = true; }

    void start() override
    {
        ++m_probe->starts;
        Base::start();
    }
    void stop() override
    {
        Base::stop();
        ++m_probe->stops;
    }
    bool isHealthy() const override { return m_probe->healthy.load() && Base::isHealthy(); }
    bool isElectrodeOff(const QString& electrode) const override
    {
        return m_probe->electrodeV2Off.load() && electrode == QLatin1String("V2");
    }
    double batteryLevel() const override { return m_probe->battery.load(); }

private:
    std::shared_ptr<SourceProbe> m_probe;
};

// Makes the data folder the working folder for the life of the object, so
// that the demo recordings open by their bare names.
class DataFolderAsCurrent
{
public:
    DataFolderAsCurrent() : m_previous(QDir::currentPath()) { QDir::setCurrent(QStringLiteral(VAROR_DATA_DIR)); }
    ~DataFolderAsCurrent() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
};

} // namespace monitortest
