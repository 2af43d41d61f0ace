#pragma once

// Shared by the review window tests: a study recorded from the demo
// recording (data/ecg1000.dat) through the acquisition pipeline into a
// temporary data folder, with settings in a temporary folder of their own,
// and the waiting and dialog handling the window's timers and modal
// dialogs call for.

#include "analysis/signal/TLeadSet.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "tests/settings/TempSettings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class EcgReviewWindow;

namespace reviewtest {

// Seconds of the demo recording (which loops every 30 s) in the study.
constexpr double RecordedSeconds = 40.0;
constexpr int Rate = 1000;

// A study recorded from the demo recording, saved, closed and opened again
// for review, as the main window does after a recording.
class ReviewStudy
{
public:
    explicit ReviewStudy(const QString& channelNames = TLeadSet::leadNamesText());
    ~ReviewStudy();

    TStudy* study() const { return m_study; }
    TLocalStudyStore& store() const { return *m_store; }
    QString dataFolder() const { return m_store->studyDataFolder(); }

    // Saves and closes the study and opens it again from its files, as the
    // main window does between two reviews.
    void reopen();

    double result(const char* name) const;
    void setResult(const char* name, double value);

private:
    void record(const QString& channelNames);

    TempSettings m_settings;
    QTemporaryDir m_base;
    std::unique_ptr<TLocalStudyStore> m_store;
    TStudy* m_study = nullptr;
};

// A review window on the study, shown at a fixed size, once its analysis
// run is done.
std::unique_ptr<EcgReviewWindow> openReviewWindow(ReviewStudy& study);

// Runs the event loop until the condition holds; false when it did not
// within the (generous) time.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

// Runs `handle` on the next modal widget of type T as soon as it shows (the
// code under test opens it with exec()); `handle` must close it.
template <typename T>
void onNextModal(std::function<void(T*)> handle)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, handle] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(widget);
        }
    });
    poll->start(20);
}

// The named child, which the test needs to exist.
template <typename T>
T* child(const QWidget& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("No child ") + name);
    return found;
}

} // namespace reviewtest
