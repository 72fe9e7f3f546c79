// The main window's archive: opened at start (the window goes on without it
// when it cannot be used, or with it read-only when it cannot be written
// here, and says why), every download, dump opened,
// parameter read and setting change stored into it, and the archive window.
// The lab's server: its dialog, and the synchronisations (by the operator,
// and after every event stored) run off the event loop.
#include "background.h"
#include "mainwindow.h"

#include "archivewindow.h"
#include "serverdialog.h"
#include "statuslabel.h"
#include "statusmessages.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressDialog>
#include <QSettings>

#include <memory>

namespace {

// Why the archive refused a write: in Russian where the archive knows why.
QString archiveRefusal(const Archive &archive, const QString &error)
{
    if (archive.openProblem() == Archive::Problem::Damaged)
        return QCoreApplication::translate("MainWindow",
                                           "архив повреждён (это нашла проверка файла перед "
                                           "первой записью), файл не изменён");
    if (archive.isReadOnly())
        return QCoreApplication::translate("MainWindow", "архив открыт только для чтения");
    return error;
}

} // namespace

void MainWindow::openArchive(const QString &fileName)
{
    QString error;
    // An upgrade rewrites a large archive's records once: said while it runs.
    std::unique_ptr<QProgressDialog> upgrading;
    archive.setUpgradeNotice([&upgrading, this](int, int) {
        upgrading = std::make_unique<QProgressDialog>(
            tr("Архив обновляется до новой версии программы. Это делается один раз; для "
               "большого архива может занять несколько минут."),
            QString(), 0, 0, this);
        auto *label = new QLabel(upgrading->labelText());
        label->setWordWrap(true);
        upgrading->setLabel(label);
        const int width = 440;
        upgrading->resize(width, qMax(120, upgrading->heightForWidth(width)));
        upgrading->setWindowTitle(tr("Обновление архива"));
        upgrading->setMinimumDuration(0);
        upgrading->show();
        QCoreApplication::processEvents();
    });
    // An archive that cannot be written here is still shown (read-only).
    const bool opened = archive.open(fileName, Archive::OpenMode::Browse, &error);
    archive.setUpgradeNotice(nullptr);
    upgrading.reset();
    if (opened && !archive.isReadOnly()) {
        archiveNote.clear();
        migrateCalibrationDates();
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
    // Shown read-only when it can be read, e.g. not when it must be upgraded first.
    case Archive::Problem::NotWritable:
        archiveNote = (archive.isOpen() ? tr("Архив только для чтения: %1 или его папка "
                                             "недоступны для записи этому пользователю; новые "
                                             "данные в архив не вносятся.")
                                        : tr("Архив не ведётся: %1 или его папка недоступны для "
                                             "записи этому пользователю; файл не изменён."))
                          .arg(file);
        break;
    case Archive::Problem::NoSpace:
        archiveNote = (archive.isOpen() ? tr("Архив только для чтения: на диске нет места для %1 "
                                             "(или исчерпан предел размера файла); новые данные в "
                                             "архив не вносятся.")
                                        : tr("Архив не ведётся: на диске нет места для %1 (или "
                                             "исчерпан предел размера файла); файл не изменён."))
                          .arg(file);
        break;
    case Archive::Problem::CannotOpen:
    case Archive::Problem::Unreachable:   // a server's; never the window's own archive
    case Archive::Problem::NeedsPassword: // a server's
    case Archive::Problem::PasswordRefused:
    case Archive::Problem::NoRights:
    case Archive::Problem::None:
        archiveNote = tr("Архив не ведётся: %1 не открывается для записи.").arg(file);
        break;
    }
    report(archiveNote);
}

void MainWindow::tellEarlierFiles(const EarlierFiles &earlier)
{
    if (earlier.nothingDone())
        return;
    report(earlierFilesMessage(earlier) +
           (archiveNote.isEmpty() ? QString() : QLatin1Char(' ') + archiveNote));
}

QString MainWindow::archiveHistory(const HistoryDump &dump, ArchiveOutcome outcome,
                                   const QString &origin, const QVariant &clockOffset)
{
    if (!archive.isOpen() || !dump.holdsReplies())
        return QString();
    if (dump.serialNumber.isEmpty())
        return tr(" В архив не внесено: в дампе нет серийного номера.");
    const ArchiveStoreResult stored = archive.storeHistory(dump, outcome, origin, clockOffset);
    if (!stored.ok)
        return tr(" В архив не внесено: %1.").arg(archiveRefusal(archive, stored.error));
    // The server may still lack it when an earlier sync failed.
    syncAfterStoring();
    if (stored.alreadyStored)
        return tr(" Уже в архиве.");
    if (archiveWindow)
        archiveWindow->reload();
    return tr(" В архиве новых: %1.").arg(stored.newRecords);
}

QString MainWindow::archiveParameterRead(const ParameterRead &read)
{
    QString error;
    if (!archive.isOpen() || read.values.isEmpty())
        return QString();
    if (!archive.storeParameterRead(read, &error))
        return tr(" Параметры не внесены в архив: %1.").arg(archiveRefusal(archive, error));
    syncAfterStoring();
    return QString();
}

QString MainWindow::archiveSettingChange(const char *settingName, const QString &value,
                                         SettingOutcome outcome, const QVariant &clockOffset)
{
    QString error;
    if (!archive.isOpen())
        return QString();
    if (!archive.storeSettingChange(link.serialNumber, QLatin1String(settingName), value, outcome,
                                    &error, clockOffset))
        return tr(" Изменение не внесено в журнал настроек: %1.")
            .arg(archiveRefusal(archive, error));
    syncAfterStoring();
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
            &archive, [this](const QString &serial) { return calibrationDateOf(serial); }, this,
            &labServer);
    else
        archiveWindow->reload();
    archiveWindow->show();
    archiveWindow->raise();
    archiveWindow->activateWindow();
}

void MainWindow::on_menuArchiveServer_triggered()
{
    ServerDialog dialog(this);
    QString why;
    ArchiveServer shown;
    if (labServer.current(&shown, &why))
        dialog.setServer(shown);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const ArchiveServer chosen = dialog.server();
    QSettings settings;
    saveServerSettings(settings, chosen);
    // A password belongs to the server it was typed for.
    if (chosen.uri() != shown.uri())
        labServer.forgetPassword();
    serverProblemTold = false;
    if (archiveWindow)
        archiveWindow->serverChanged();
    if (!namesServer(chosen)) {
        report(tr("Сервер лаборатории не используется: архив ведётся только на этом ПК."));
        return;
    }
    report(tr("Сервер лаборатории: %1. Пароль не сохраняется.").arg(chosen.uri()));
}

void MainWindow::on_menuSyncArchive_triggered()
{
    if (!archive.isOpen()) {
        report(archiveNote.isEmpty() ? tr("Архив не ведётся.") : archiveNote);
        return;
    }
    if (isSyncRunning()) {
        report(tr("Синхронизация с сервером лаборатории уже идёт: дождитесь её конца."));
        return;
    }
    syncPasswordAsked = false;
    startSync(true);
}

void MainWindow::startSync(bool byOperator)
{
    if (!archive.isOpen())
        return;
    if (isSyncRunning()) {
        syncAgain = true;
        return;
    }
    QString why;
    if (!labServer.current(&syncServer, &why)) {
        if (byOperator)
            report(why);
        return;
    }
    syncByOperator = byOperator;
    if (byOperator)
        report(tr("Синхронизация с сервером лаборатории…"));
    syncing = true;
    const QString file = archive.fileName();
    const ArchiveServer server = syncServer;
    syncWatcher.setFuture(
        runInBackground([file, server]() { return synchronizeArchive(file, server); }));
}

void MainWindow::syncEnded()
{
    const ArchiveSyncResult result = syncWatcher.result();
    syncing = false;
    if (result.needsPassword)
        labServer.forgetPassword(); // the server refused it
    if (closeAfterSync) {
        close();
        return;
    }
    if (syncByOperator && result.needsPassword && !syncPasswordAsked) {
        syncPasswordAsked = true;
        if (labServer.askPassword(this, syncServer)) {
            startSync(true);
            return;
        }
        report(tr("Синхронизация не выполнена: пароль сервера лаборатории не введён."));
    } else if (syncByOperator || (result.ok && !result.nothingNew())) {
        const QString message = syncOutcomeMessage(result);
        // A download's own outcome stays in front of the automatic sync's.
        report(syncByOperator ? message : statusLabel->message() + QLatin1Char(' ') + message);
    } else if (!result.ok && !serverProblemTold) {
        report(statusLabel->message() + QLatin1Char(' ') + syncOutcomeMessage(result));
    }
    if (result.ok) {
        serverProblemTold = false;
        // The archive window showing the server shows what it now holds.
        if (archiveWindow && !result.nothingNew() &&
            archiveWindow->source() == ArchiveWindow::Source::Server)
            archiveWindow->reload();
    } else {
        serverProblemTold = true;
    }
    if (syncAgain) {
        syncAgain = false;
        startSync(false);
    }
}
