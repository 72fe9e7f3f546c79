// The main window's history plot and history dumps: the records of the last
// download or of an opened dump, drawn in the plot window; the page replies
// of a download kept in memory, saved as a dump and decoded again later
// without the pager.
#include "mainwindow.h"

#include "filedialogs.h"
#include "historyplot.h"
#include "historytablemodel.h"
#include "savenames.h"
#include "serialnumber.h"
#include "statusmessages.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString dumpFilter = QStringLiteral("Дамп истории (*.dump);;Все файлы (*)");

} // namespace

bool MainWindow::hasDumpToSave()
{
    if (!shownHistory.holdsReplies())
        report(tr("Дамп не сохранён: история ещё не прочитана из прибора."));
    else if (historyRecords.isEmpty())
        report(tr("Дамп не сохранён: чтение истории не принесло ни одной записи."));
    return shownHistory.holdsReplies() && !historyRecords.isEmpty();
}

HistoryPageSink MainWindow::keepDownloadedPages(const QString &serialNumber)
{
    shownHistory = HistoryDump();
    shownHistory.serialNumber = serialNumber;
    shownHistory.downloadedAt = QDateTime::currentDateTime();
    shownHistory.timeZoneId = QTimeZone::systemTimeZoneId();
    return [this](const QByteArray &reply) { shownHistory.pages.append(reply); };
}

QString MainWindow::journalSerialNumber() const
{
    // The rows came from a download or a dump: the serial number they belong
    // to, even when another pager was asked for its settings since.
    return shownHistory.pages.isEmpty() ? link.serialNumber : shownHistory.serialNumber;
}

void MainWindow::historyShown()
{
    if (plotWindow && plotWindow->isVisible())
        plotWindow->setHistory(historyRecords, shownHistory.serialNumber, shownHistory.timeZone());
}

void MainWindow::showHistoryRow(int row)
{
    if (row < 0 || row >= historyModel->rowCount())
        return;
    ui->tableView->selectRow(row);
    ui->tableView->scrollTo(historyModel->index(row, 0), QAbstractItemView::PositionAtCenter);
}

HistoryPlotWindow *MainWindow::madePlotWindow()
{
    if (!plotWindow) {
        plotWindow = new HistoryPlotWindow(this);
        connect(plotWindow, &HistoryPlotWindow::recordActivated, this, &MainWindow::showHistoryRow);
    }
    return plotWindow;
}

void MainWindow::on_menuPlotHistory_triggered()
{
    // The records of a running download are not in the table yet.
    if (refuseDuringDownload())
        return;
    if (historyRecords.isEmpty()) {
        report(tr("График не построен: записей истории нет. Прочитайте историю из прибора или "
                  "откройте дамп истории."));
        return;
    }
    madePlotWindow()->setHistory(historyRecords, shownHistory.serialNumber,
                                 shownHistory.timeZone());
    plotWindow->show();
    plotWindow->raise();
    plotWindow->activateWindow();
}

void MainWindow::on_menuSaveDump_triggered()
{
    if (refuseDuringDownload() || !hasDumpToSave())
        return;
    const QString fileName = askSaveFileName(
        this, tr("Сохранить дамп истории"), dumpFilter,
        suggestedFileName(SavedFile::Dump, shownHistory.serialNumber, shownHistoryDate()),
        savedFileSuffix(SavedFile::Dump));
    if (!fileName.isEmpty())
        saveShownHistoryDump(fileName);
}

bool MainWindow::saveShownHistoryDump(const QString &fileName)
{
    if (!hasDumpToSave())
        return false;
    QString error;
    if (!saveHistoryDump(shownHistory, fileName, &error)) {
        reportSaveFailure(fileName, error);
        return false;
    }
    report(tr("Дамп сохранён: %1 (%2).")
               .arg(QDir::toNativeSeparators(fileName),
                    russianCount(shownHistory.pages.size(), tr("страница"), tr("страницы"),
                                 tr("страниц"))));
    return true;
}

void MainWindow::on_menuOpenDump_triggered()
{
    // The download fills the table between pages; a dump must not replace
    // the records under it.
    if (refuseDuringDownload())
        return;
    const QString fileName = askOpenFileName(this, tr("Открыть дамп истории"), dumpFilter);
    if (!fileName.isEmpty())
        openHistoryDump(fileName);
}

bool MainWindow::openHistoryDump(const QString &fileName)
{
    if (refuseDuringDownload())
        return false;
    const QString shownName = QFileInfo(fileName).fileName();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(fileName);
        const QString reason = !info.exists()       ? tr("такого файла нет")
                               : info.isDir()       ? tr("это папка")
                               : !info.isReadable() ? tr("нет прав на чтение")
                                                    : tr("ошибка чтения");
        report(tr("Дамп не открыт: %1 — %2. Таблица не изменена.")
                   .arg(QDir::toNativeSeparators(fileName), reason));
        return false;
    }
    HistoryDump dump;
    QString error;
    bool serialRefused = false;
    if (!readHistoryDump(file.readAll(), &dump, &error, &serialRefused)) {
        report(serialRefused
                   ? tr("Дамп «%1» не открыт: недопустимый серийный номер (нужно до %2 видимых "
                        "знаков ASCII, без управляющих) или ответы называют разные приборы. "
                        "Таблица не изменена.")
                         .arg(shownName)
                         .arg(maxSerialNumberBytes)
                   : tr("«%1» — не дамп истории или файл повреждён. Таблица не изменена.")
                         .arg(shownName));
        return false;
    }
    QList<HistoryRecord *> records;
    const bool complete = decodeHistoryDump(dump, records);
    if (records.isEmpty() && !complete) {
        report(tr("В дампе «%1» нет ни одной целой записи. Таблица не изменена.").arg(shownName));
        return false;
    }

    qDeleteAll(historyRecords);
    historyRecords = records;
    fillHistoryTable(historyRecords, dump.timeZone());
    ui->lblHistoryPage->setText(tr("Считанных страниц:"));
    shownHistory = dump;
    historyShown();
    // The pager the rows came from, as after a download.
    ui->lblSN->setText(tr("SN: %1").arg(dump.serialNumber));
    showCalibrationDateOf(dump.serialNumber);

    // The outcome first, the particulars after it: a narrow window cuts the end.
    QStringList about;
    if (!dump.headerSerialNumber.isEmpty())
        about << tr("SN %1 по ответам прибора (в заголовке дампа — %2)")
                     .arg(dump.serialNumber, dump.headerSerialNumber);
    else if (!dump.serialNumber.isEmpty())
        about << tr("SN %1").arg(dump.serialNumber);
    if (dump.downloadedAt.isValid())
        about
            << tr("считан %1").arg(dump.downloadedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    if (!dump.timeZoneId.isEmpty() && dump.timeZoneId != QTimeZone::systemTimeZoneId())
        about << tr("время пояса %1").arg(QString::fromLatin1(dump.timeZoneId));
    const QString recordCount =
        russianCount(historyRecords.size(), tr("запись"), tr("записи"), tr("записей"));
    // A dump opened is stored as one imported.
    const QString archived =
        archiveHistory(dump, complete ? ArchiveOutcome::Complete : ArchiveOutcome::Incomplete,
                       QStringLiteral("dump"));
    report((complete ? tr("Дамп «%1»: %2, прибор не опрашивался.")
                     : tr("Дамп «%1» неполный: %2, прибор не опрашивался."))
               .arg(shownName, recordCount) +
           (about.isEmpty()
                ? QString()
                : QLatin1Char(' ') + about.join(QStringLiteral(", ")) + QLatin1Char('.')) +
           archived);
    return true;
}
