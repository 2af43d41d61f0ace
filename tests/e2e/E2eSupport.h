#pragma once

// Driving the application's windows as an operator does: buttons clicked,
// modal dialogs answered as they show, message boxes caught, windows
// rendered into the build folder (renderings/*.png) to be looked at.

#include "app/MainWindow.h"
#include "windows/EcgReviewWindow.h"

#include "tests/app/TempDataFolder.h"

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class OpenStudyDialog;
class QPushButton;

namespace e2e {

constexpr int LongWaitMs = 120000;

// The visible top-level window of type T, or null.
template <typename T>
T* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// The named child, which the test needs to exist.
template <typename T>
T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("No child ") + name);
    return found;
}

void click(const QObject& parent, const char* name);

// Runs `handle` on the next modal dialog of type T once it shows (the code
// under test opens it with exec()); `handle` must close it.
template <typename T>
void onNextModal(std::function<void(T*)> handle)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(dialog);
        }
    });
    poll->start(20);
}

// Every message box is remembered ("title|text") and closed, so that none
// stops the run unseen.
class MessageBoxWatch {
public:
    MessageBoxWatch();

    QStringList messages;

private:
    QTimer m_timer;
};

// Application identity and dark style sheet, as the application starts
// with them; the style sheet is removed again when the object goes.
class ApplicationLooks {
public:
    ApplicationLooks();
    ~ApplicationLooks();
};

// Renders the widget into renderings/<name>.png of the build folder.
void render(QWidget& widget, const QString& name);

// A main window on the data folder, shown, once its study store is open;
// null when the store did not open.
std::unique_ptr<MainWindow> startMainWindow(const TempDataFolder& data);

// Quick start with the names, record until `samples` samples are recorded
// (rendering the monitor window as renderings/<renderName>.png), stop.
void recordStudy(MainWindow& window, const QString& lastName, const QString& firstName, int samples,
                 const QString& renderName);

// The review window open on screen once its analysis run is done; null
// when none came.
QPointer<EcgReviewWindow> analysedReviewWindow();

void closeReview(QPointer<EcgReviewWindow>& review);

// The open study dialog from the main window's open panel (shown first when
// it is folded); `work` runs in the dialog and closes it.
void inOpenStudyDialog(MainWindow& window, std::function<void(OpenStudyDialog*)> work);

} // namespace e2e
