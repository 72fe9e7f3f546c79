// The main window's history plot and history dumps: the records of the last
// download or of an opened dump, drawn in the plot window; the page replies
// of a download kept in memory, saved as a dump and decoded again later
// without the pager.
#include "mainwindow.h"

#include "historyplot.h"
#include "historytable.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardItemModel>

namespace {

const QString dumpFilter = QStringLiteral("Дамп истории (*.dump);;Все файлы (*)");

} // namespace

bool MainWindow::refuseWhileDownloading()
{
    if (deviceBusy)
        report(tr("Идёт чтение истории: дождитесь его окончания."));
    return deviceBusy;
}

bool MainWindow::hasDumpToSave()
{
    if (shownHistory.pages.isEmpty())
        report(tr("Дамп не сохранён: история ещё не прочитана из прибора."));
    return !shownHistory.pages.isEmpty();
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

void MainWindow::on_menuPlotHistory_triggered()
{
    // The records of a running download are not in the table yet.
    if (refuseWhileDownloading())
        return;
    if (historyRecords.isEmpty()) {
        report(tr("График не построен: записей истории нет. Прочитайте историю из прибора или "
                  "откройте дамп истории."));
        return;
    }
    if (!plotWindow) {
        plotWindow = new HistoryPlotWindow(this);
        connect(plotWindow, &HistoryPlotWindow::recordActivated, this, &MainWindow::showHistoryRow);
    }
    plotWindow->setHistory(historyRecords, shownHistory.serialNumber, shownHistory.timeZone());
    plotWindow->show();
    plotWindow->raise();
    plotWindow->activateWindow();
}

void MainWindow::on_menuSaveDump_triggered()
{
    if (refuseWhileDownloading() || !hasDumpToSave())
        return;
    QFileDialog dialog(this, tr("Сохранить дамп истории"), QString(), dumpFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("dump"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        saveShownHistoryDump(dialog.selectedFiles().constFirst());
}

bool MainWindow::saveShownHistoryDump(const QString &fileName)
{
    if (!hasDumpToSave())
        return false;
    QString error;
    if (!saveHistoryDump(shownHistory, fileName, &error)) {
        report(tr("Дамп не сохранён: %1 (%2)").arg(QDir::toNativeSeparators(fileName), error));
        return false;
    }
    report(tr("Дамп истории сохранён: %1 (страниц: %2).")
               .arg(QDir::toNativeSeparators(fileName))
               .arg(shownHistory.pages.size()));
    return true;
}

void MainWindow::on_menuOpenDump_triggered()
{
    // The download fills the table between pages; a dump must not replace
    // the records under it.
    if (refuseWhileDownloading())
        return;
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Открыть дамп истории"), QString(), dumpFilter);
    if (!fileName.isEmpty())
        openHistoryDump(fileName);
}

bool MainWindow::openHistoryDump(const QString &fileName)
{
    if (refuseWhileDownloading())
        return false;
    const QString shownName = QDir::toNativeSeparators(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        report(
            tr("Дамп не открыт: %1 (%2). Таблица не изменена.").arg(shownName, file.errorString()));
        return false;
    }
    HistoryDump dump;
    QString error;
    if (!readHistoryDump(file.readAll(), &dump, &error)) {
        report(tr("%1 — не дамп истории или файл повреждён (%2). Таблица не изменена.")
                   .arg(shownName, error));
        return false;
    }
    QList<HistoryRecord *> records;
    const bool complete = decodeHistoryDump(dump, records);
    if (records.isEmpty() && !complete) {
        report(tr("%1: в дампе нет ни одной целой записи истории. Таблица не изменена.")
                   .arg(shownName));
        return false;
    }

    qDeleteAll(historyRecords);
    historyRecords = records;
    historyModel->removeRows(0, historyModel->rowCount());
    ::fillHistoryTable(historyModel, historyRecords, dump.timeZone());
    ui->lblHistoryPage->setText(tr("Считанных страниц:"));
    shownHistory = dump;
    historyShown();

    QStringList about;
    if (!dump.serialNumber.isEmpty())
        about << tr("SN %1").arg(dump.serialNumber);
    if (dump.downloadedAt.isValid())
        about
            << tr("считан %1").arg(dump.downloadedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    if (!dump.timeZoneId.isEmpty() && dump.timeZoneId != QTimeZone::systemTimeZoneId())
        about << tr("время по поясу %1").arg(QString::fromLatin1(dump.timeZoneId));
    const QString details =
        about.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(about.join(QStringLiteral(", ")));
    if (complete)
        report(tr("Открыт дамп истории %1%2: записей %3. Прибор не опрашивался.")
                   .arg(shownName, details)
                   .arg(historyRecords.size()));
    else
        report(tr("Открыт дамп истории %1%2: история в нём неполная, показаны записи: %3. "
                  "Прибор не опрашивался.")
                   .arg(shownName, details)
                   .arg(historyRecords.size()));
    return true;
}
