// The main window's archive: opened at start (the window goes on without it
// when it cannot be used, and says why), every download, dump opened,
// parameter read and setting change stored into it, and the archive window.
#include "mainwindow.h"

#include "archivewindow.h"
#include "statusmessages.h"
#include "ui_mainwindow.h"

#include <QDir>

void MainWindow::openArchive(const QString &fileName)
{
    QString error;
    if (archive.open(fileName, &error)) {
        archiveNote.clear();
        return;
    }
    const QString file = QDir::toNativeSeparators(fileName);
    switch (archive.openProblem()) {
    case Archive::Problem::NoDriver:
        archiveNote = tr("Архив не ведётся: нет драйвера SQLite (libqt5sql5-sqlite).");
        break;
    case Archive::Problem::Damaged:
        archiveNote = tr("Архив не ведётся: %1 повреждён или это не архив программы; файл не "
                         "изменён.")
                          .arg(file);
        break;
    case Archive::Problem::Foreign:
        archiveNote =
            tr("Архив не ведётся: %1 — база данных другой программы; файл не изменён.").arg(file);
        break;
    case Archive::Problem::Newer:
        archiveNote = tr("Архив не ведётся: %1 создан более новой версией программы; файл не "
                         "изменён.")
                          .arg(file);
        break;
    case Archive::Problem::CannotOpen:
    case Archive::Problem::Unreachable:   // a server's; never the window's own archive
    case Archive::Problem::NeedsPassword: // a server's
    case Archive::Problem::None:
        archiveNote = tr("Архив не ведётся: %1 не открывается для записи.").arg(file);
        break;
    }
    report(archiveNote);
}

QString MainWindow::archiveHistory(const HistoryDump &dump, ArchiveOutcome outcome,
                                   const QString &origin)
{
    if (!archive.isOpen() || !dump.holdsReplies())
        return QString();
    if (dump.serialNumber.isEmpty())
        return tr(" В архив не внесено: в дампе нет серийного номера.");
    const ArchiveStoreResult stored = archive.storeHistory(dump, outcome, origin);
    if (!stored.ok)
        return tr(" В архив не внесено: %1.").arg(stored.error);
    if (stored.alreadyStored)
        return tr(" Уже в архиве.");
    if (archiveWindow)
        archiveWindow->reload();
    return tr(" В архиве новых: %1.").arg(stored.newRecords);
}

QString MainWindow::archiveParameterRead(const ParameterRead &read)
{
    QString error;
    if (archive.isOpen() && !read.values.isEmpty() && !archive.storeParameterRead(read, &error))
        return tr(" Параметры не внесены в архив: %1.").arg(error);
    return QString();
}

QString MainWindow::archiveSettingChange(const char *settingName, const QString &value,
                                         SettingOutcome outcome)
{
    QString error;
    if (archive.isOpen() &&
        !archive.storeSettingChange(link.serialNumber, QLatin1String(settingName), value, outcome,
                                    &error))
        return tr(" Изменение не внесено в журнал настроек: %1.").arg(error);
    return QString();
}

void MainWindow::on_menuArchive_triggered()
{
    if (!archive.isOpen()) {
        report(archiveNote.isEmpty() ? tr("Архив не ведётся.") : archiveNote);
        return;
    }
    if (!archiveWindow)
        archiveWindow = new ArchiveWindow(
            &archive, [this](const QString &serial) { return calibrationDateOf(serial); }, this);
    else
        archiveWindow->reload();
    archiveWindow->show();
    archiveWindow->raise();
    archiveWindow->activateWindow();
}
