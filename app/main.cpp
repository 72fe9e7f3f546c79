#include "mainwindow.h"
#include "qttranslations.h"

#include <QApplication>

#ifndef Q_OS_WIN
#include "usbsocketdir.h"
#endif

int main(int argc, char **argv)
{
#ifndef Q_OS_WIN
    // The pager sockets have their own folder rule; Qt's warning about an
    // unset XDG_RUNTIME_DIR would only confuse the operator.
    socketdir::quietRuntimeDirWarning();
#endif
    QApplication app(argc, argv);
    // The settings (window size and place, last folder, calibration dates).
    QCoreApplication::setOrganizationName(QStringLiteral("DR7326G"));
    QCoreApplication::setApplicationName(QStringLiteral("dr7326g"));
    installQtTranslations(&app);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
