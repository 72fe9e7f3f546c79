#include "archivelocation.h"
#include "mainwindow.h"
#include "qttranslations.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressDialog>

#include <memory>

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
    // A large archive takes a while to merge: said before the window shows.
    std::unique_ptr<QProgressDialog> merging;
    const EarlierFiles earlier = moveEarlierFiles(true, [&](const EarlierFiles &files) {
        merging.reset(new QProgressDialog);
        merging->setWindowTitle(QStringLiteral("DR7326G-05A"));
        auto *label =
            new QLabel(QCoreApplication::translate(
                           "MainWindow", "Архив прежней версии %1 объединяется с архивом %2. Это "
                                         "делается один раз; большой архив — до минуты.")
                           .arg(QDir::toNativeSeparators(files.earlierArchive),
                                QDir::toNativeSeparators(files.currentArchive)));
        label->setWordWrap(true);
        merging->setLabel(label);
        merging->setMinimumWidth(480);
        merging->setCancelButton(nullptr);
        merging->setRange(0, 0);
        merging->show();
        QCoreApplication::processEvents();
    });
    merging.reset();
    int result = 0;
    {
        MainWindow window;
        window.tellEarlierFiles(earlier);
        window.show();
        result = app.exec();
    }
    return result;
}
