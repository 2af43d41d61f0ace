#pragma once

#include <QDir>
#include <QString>

// Makes a folder the working folder for the life of the object (the demo
// source opens its recording by bare name) and gives the previous one back.
class WorkingFolder {
public:
    explicit WorkingFolder(const QString& path) { QDir::setCurrent(path); }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }

    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    QString m_previous = QDir::currentPath();
};
