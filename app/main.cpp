#include "app/MainWindow.h"
#include "app/TApplication.h"
#include "app/TSingleInstanceGuard.h"
#include "app/TStartup.h"
#include "storage/TFileNameCodec.h"

#include <QMessageBox>

#include <memory>

int main(int argc, char** argv)
{
    TFileNameCodec::install();
    // Destruction runs in reverse: window, guard, translators, application.
    TApplication app(argc, argv);
    TStartup::setIdentity();
    TStartup::restrictSettingsFile();
    const auto translators = TStartup::installTranslations(QCoreApplication::applicationDirPath());

    TSingleInstanceGuard guard(TStartup::instanceKey());
    if (!guard.acquire()) {
        QMessageBox::information(nullptr, QCoreApplication::translate("main", "Information"),
                                 TStartup::alreadyRunningText(guard.key()));
        return 0;
    }

    app.setStyleSheet(TStartup::styleSheet(QString::fromLatin1(TStartup::DarkStyleSheet)));

    auto window = std::make_unique<MainWindow>();
    window->show();
    const int result = app.exec();
    const auto error = app.takeError();
    if (!error)
        return result;

    QMessageBox::critical(nullptr, QCoreApplication::translate("main", "Error"), *error);
    window.reset();
    return 0;
}
