#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}

// The first window of the application: the hub from which studies are
// started, reopened and configured.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // "<organisation> ZID OR": the application name with "VA ROR" replaced.
    static QString windowTitleText();

private Q_SLOTS:
    void on_btnClose_clicked();

private:
    std::unique_ptr<Ui::MainWindow> ui;
};
