#include "archivelocation.h"
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
    // The settings (window size and place, last folder, calibration dates,
    // lab server) in the program's own folder, as the data (archivelocation.h).
    useProgramSettingsNames();
    installQtTranslations(&app);
    // What an earlier version kept elsewhere, before anything is read.
    const EarlierFiles earlier = moveEarlierFiles(true);
    int result = 0;
    {
        MainWindow window;
        window.tellEarlierFiles(earlier);
        window.show();
        result = app.exec();
    }
    return result;
}
