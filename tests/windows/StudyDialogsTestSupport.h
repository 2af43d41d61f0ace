#pragma once

// Shared by the tests of the study dialog and the open study dialog: a
// temporary store with a few recorded studies, settings in a temporary
// folder, and an answerer for the message boxes the dialogs bring up.

#include "storage/StoreTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <memory>
#include <ostream>

// Readable texts in the failure messages of assertions on Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << '{';
    for (const QString& text : texts) {
        PrintTo(text, out);
        *out << ' ';
    }
    *out << '}';
}

namespace dialogtest {

// Answers every message box that becomes the active modal widget with
// `answer` and keeps "title|text" of each, in order.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.append(box->windowTitle() + QLatin1Char('|') + box->text());
                informative.append(box->informativeText());
                QAbstractButton* button = box->button(m_answer);
                if (!button)
                    button = box->button(QMessageBox::Ok);
                button->click();
            }
        });
        m_timer.start(5);
    }

    QStringList messages;
    QStringList informative;

private:
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};

// A temporary data folder and settings with a study store on them.
class StoreFixture
{
public:
    StoreFixture() : store(std::make_unique<TLocalStudyStore>("PulsorixVAROR", env.base())) {}

    // A closed study of a few seconds; "report" status on request.
    int addStudy(const std::string& first, const std::string& last, const std::string& dateTime,
                 bool reported = false)
    {
        TStudyInfo info = newStudyInfo(first, last, dateTime);
        TStudy* study = store->createStudy(info);
        record(*study, 2000, 2);
        if (reported) {
            study->setProperty("status", "report");
            store->saveStudy(study);
        }
        store->closeStudy(study);
        return info.id;
    }

    TempStorageEnvironment env;
    std::unique_ptr<TLocalStudyStore> store;
};

// Types a text key by key, letters outside ASCII included.
inline void typeText(QWidget* widget, const QString& text)
{
    for (const QChar character : text) {
        if (character.unicode() < 128) {
            QTest::keyClick(widget, char(character.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(character), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(character), Qt::NoModifier);
        }
    }
}

// Lets timers and posted events of the dialogs under test run.
inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace dialogtest
