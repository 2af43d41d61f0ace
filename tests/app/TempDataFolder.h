#pragma once

#include "app/MainWindow.h"
#include "storage/TLocalStudyStore.h"

#include <QTemporaryDir>

#include <memory>

// An empty temporary data folder for the life of the object, and the main
// window's store factory placing the study store in it, so tests never see
// or touch the user's studies.
class TempDataFolder {
public:
    QString path() const { return m_dir.path(); }

    MainWindow::StoreFactory storeFactory() const
    {
        const QString base = m_dir.path();
        return [base] { return std::make_unique<TLocalStudyStore>("PulsorixVAROR", base); };
    }

private:
    QTemporaryDir m_dir;
};
