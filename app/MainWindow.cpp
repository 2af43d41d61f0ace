#include "app/MainWindow.h"

#include "ui_MainWindow.h"

#include <QCoreApplication>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setWindowTitle(windowTitleText());
    ui->lblVersion->setText(tr("v %1").arg(QCoreApplication::applicationVersion()));
}

MainWindow::~MainWindow() = default;

QString MainWindow::windowTitleText()
{
    QString application = QCoreApplication::applicationName();
    application.replace(QStringLiteral("VA ROR"), QStringLiteral("ZID OR"));
    return QStringLiteral("%1 %2").arg(QCoreApplication::organizationName(), application);
}

void MainWindow::on_btnClose_clicked()
{
    close();
}
