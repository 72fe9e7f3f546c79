#include "mainwindow.h"

#include "csvexport.h"
#include "helpfile.h"
#include "historydownload.h"
#include "historyplot.h"
#include "historytable.h"
#include "historyview.h"
#include "pdfjournal.h"
#include "settingvalues.h"
#include "statuslabel.h"
#include "statusmessages.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QShortcut>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>

MainWindow *mainWindowInstance = nullptr;

void showHistoryProgress(int pages)
{
    if (mainWindowInstance)
        mainWindowInstance->showHistoryPages(pages);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ui->menubar->setStyleSheet(
        QStringLiteral("background-color:%1;").arg(QColor(216, 216, 216, 255).name()));
    ui->dtPC->setDateTime(QDateTime::currentDateTime());

    historyModel = new QStandardItemModel();
    setupHistoryModel(historyModel);
    ui->tableView->setModel(historyModel);
    setUpHistoryView(ui->tableView);

    // What happened to the last action is always told here.
    statusLabel = new StatusLabel(this);
    statusLabel->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(statusLabel, 1);
    // Escape ends a running download after its current page.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    QObject::connect(stop, &QShortcut::activated, this, [this]() {
        if (deviceBusy)
            stopDownload();
    });

    openArchive(Archive::defaultFileName());
    mainWindowInstance = this;
}

MainWindow::~MainWindow()
{
    delete ui;
    qDeleteAll(historyRecords);
    historyRecords.clear();
    // The view is a child of this window and goes with it; the model it
    // showed is released after it.
    delete historyModel;
    if (mainWindowInstance == this)
        mainWindowInstance = nullptr;
}

void MainWindow::fillHistoryTable(const QList<HistoryRecord *> &records)
{
    ::fillHistoryTable(historyModel, records);
}

void MainWindow::showHistoryPages(int pages)
{
    ui->lblHistoryPage->setText(tr("Считанных страниц: %1").arg(pages));
    if (!downloadStopRequested)
        report(tr("Чтение истории: страница %1… Esc — остановить.").arg(pages));
}

void MainWindow::report(const QString &message)
{
    statusLabel->setMessage(message);
}

bool MainWindow::refuseDuringDownload()
{
    if (!deviceBusy)
        return false;
    report(tr("Идёт чтение истории: дождитесь его конца или нажмите Esc."));
    return true;
}

void MainWindow::stopDownload()
{
    downloadStopRequested = true;
    report(tr("Чтение истории остановится после текущей страницы…"));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A download runs from the events it lets through: it is stopped, and the
    // window closes once it has ended and the link is closed.
    if (deviceBusy) {
        closeAfterDownload = true;
        stopDownload();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::reportSaveFailure(const QString &fileName, const QString &writerError)
{
    report(tr("Файл не сохранён: %1 — %2.")
               .arg(QDir::toNativeSeparators(fileName),
                    fileErrorReason(fileErrorKind(fileName, writerError))));
}

bool MainWindow::beginDeviceAction()
{
    if (refuseDuringDownload())
        return false;
    if (link.connect().isEmpty()) {
        report(tr("Прибор не ответил. Проверьте, что он включён и подключён к USB."));
        return false;
    }
    deviceBusy = true;
    return true;
}

void MainWindow::endDeviceAction()
{
    link.disconnect();
    deviceBusy = false;
}

void MainWindow::on_menuExit_triggered()
{
    close();
}

void MainWindow::showSetting(QLineEdit *edit, const QString &text, QStringList *notShown,
                             const QString &name)
{
    // A text longer than the field would be cut and, stored back, change the
    // setting: such a value is named in the status bar and the field left empty.
    if (text.size() > edit->maxLength()) {
        edit->clear();
        notShown->append(QStringLiteral("%1 = %2").arg(name, text));
    } else {
        edit->setText(text);
    }
}

void MainWindow::on_menuConnect_triggered()
{
    if (!beginDeviceAction())
        return;
    ui->lblSN->setText(tr("SN: %1").arg(link.serialNumber));
    ui->dtPC->setDateTime(QDateTime::currentDateTime());
    QStringList notShown;
    QStringList unanswered;
    bool ok = false;
    ui->dtDevice->setDateTime(link.readDeviceTime(&ok));
    if (!ok)
        unanswered << tr("часы");
    // A value the pager did not give is not shown: a 0 in its place could be
    // stored back as if it were the setting.
    auto show = [&](QLineEdit *edit, const QString &text, bool answered, const QString &name) {
        if (answered) {
            showSetting(edit, text, &notShown, name);
        } else {
            edit->clear();
            unanswered << name;
        }
    };
    const float neutron = link.readNeutronSigma(&ok);
    show(ui->edtSn, renderSetting(neutron), ok, tr("нейтроны"));
    const float gamma = link.readGammaSigma(&ok);
    show(ui->edtSg, renderSetting(gamma), ok, tr("гамма"));
    const float threshold = link.readDoseRateThreshold(&ok);
    show(ui->edtMED, renderSetting(threshold), ok, tr("порог"));
    const int interval = link.readHistoryInterval(&ok);
    show(ui->edtThist, QString::number(interval), ok, tr("интервал"));
    endDeviceAction();
    // What the pager answered goes to the archive, as the command-line tool's params.
    ParameterRead read;
    read.serialNumber = link.serialNumber;
    if (!unanswered.contains(tr("часы")))
        read.values.append(
            {QLatin1String(setting::deviceTime),
             ui->dtDevice->dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    const std::pair<const char *, QLineEdit *> fields[] = {
        {setting::neutronSigma, ui->edtSn},
        {setting::gammaSigma, ui->edtSg},
        {setting::doseRateThreshold, ui->edtMED},
        {setting::historyInterval, ui->edtThist}};
    for (const auto &[name, edit] : fields)
        if (!edit->text().isEmpty())
            read.values.append({QLatin1String(name), edit->text()});
    archiveParameterRead(read);

    QString message = tr("Параметры прочитаны.");
    if (!unanswered.isEmpty())
        message = tr("Прибор не ответил на чтение: %1.").arg(unanswered.join(QStringLiteral(", ")));
    if (!notShown.isEmpty())
        message += tr(" Не помещается в поле: %1.").arg(notShown.join(QStringLiteral(", ")));
    report(message + archiveNote);
}

void MainWindow::on_menuReadHistory_triggered()
{
    if (!beginDeviceAction())
        return;
    QElapsedTimer clock;
    clock.start();
    downloadStopRequested = false;
    ui->lblHistoryPage->setText(tr("Считанных страниц:"));
    report(tr("Чтение истории…"));
    link.readInfo();
    qDeleteAll(historyRecords);
    historyRecords.clear();
    historyModel->removeRows(0, historyModel->rowCount());
    // The plot window stays on screen but takes no input meanwhile: a file
    // dialog opened from it would hold the download up.
    if (QWidget *plot = historyPlotWindow())
        plot->setEnabled(false);
    const HistoryDownloadResult result = downloadHistory(
        link, historyRecords, showHistoryProgress, keepDownloadedPages(link.serialNumber),
        [this]() { return downloadStopRequested; });
    fillHistoryTable(historyRecords);
    historyShown();
    if (QWidget *plot = historyPlotWindow())
        plot->setEnabled(true);
    endDeviceAction();

    const DownloadEnd end = result.complete() ? DownloadEnd::Complete
                            : result.stopped  ? DownloadEnd::Stopped
                                              : DownloadEnd::Incomplete;
    // What was read is kept, however the download ended.
    const QString archived =
        archiveHistory(shownHistory,
                       end == DownloadEnd::Complete  ? ArchiveOutcome::Complete
                       : end == DownloadEnd::Stopped ? ArchiveOutcome::Stopped
                                                     : ArchiveOutcome::Incomplete,
                       QStringLiteral("download"));
    report(historyDownloadMessage(end, historyRecords.size(), result.pages, clock.elapsed()) +
           archived);
    downloadStopRequested = false;
    if (closeAfterDownload)
        close();
}

void MainWindow::on_menuHelp_triggered()
{
    QString error;
    const QString path = prepareHelpFile(
        QStringLiteral(":/text/resources/help.pdf"), QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation), &error);
    if (path.isEmpty()) {
        report(tr("Справку не удалось подготовить к просмотру: %1.").arg(error));
        return;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        report(tr("Справка открыта: %1").arg(QDir::toNativeSeparators(path)));
    else
        report(tr("Нет программы просмотра PDF; справка: %1").arg(QDir::toNativeSeparators(path)));
}

void MainWindow::on_menuSaveHistory_triggered()
{
    if (refuseDuringDownload())
        return;
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save file"), QString(), tr("CSV file (*.csv);;All Files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (saveHistoryCsv(ui->tableView->model(), ui->dateControl->date(), fileName, &error))
        report(tr("История сохранена: %1").arg(QDir::toNativeSeparators(fileName)));
    else
        reportSaveFailure(fileName, error);
}

void MainWindow::on_menuPrintHistory_triggered()
{
    if (refuseDuringDownload())
        return;
    QFileDialog dialog(this, tr("Сохранить как PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setMimeTypeFilters({QStringLiteral("application/pdf")});
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString fileName = dialog.selectedFiles().constFirst();
    QString error;
    int sheets = 0;
    // A long journal takes a while: each sheet is told, and painted at once.
    const JournalProgress progress = [this](int sheet, int of) {
        report(tr("Сохранение отчёта: лист %1 из %2…").arg(sheet).arg(of));
        statusLabel->repaint();
    };
    if (saveJournalPdf(ui->tableView->model(), journalSerialNumber(), ui->dateControl->date(),
                       fileName, &error, progress, &sheets))
        report(tr("Отчёт сохранён: %1 (%2)")
                   .arg(QDir::toNativeSeparators(fileName),
                        russianCount(sheets, tr("лист"), tr("листа"), tr("листов"))));
    else
        reportSaveFailure(fileName, error);
}

void MainWindow::on_btnSync_clicked()
{
    if (!beginDeviceAction())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const PagerLink::ClockSetOutcome outcome = link.setDeviceTimeConfirmed(now);
    const bool answered = link.lastExchangeAnswered;
    endDeviceAction();
    report(clockSetMessage(outcome, now) +
           archiveSettingChange(
               setting::deviceTime, now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
               outcome == PagerLink::ClockSetOutcome::Confirmed ? SettingOutcome::Stored
               : answered                                       ? SettingOutcome::NotConfirmed
                                                                : SettingOutcome::NoAnswer));
}

void MainWindow::storeRegisterSetting(const QString &name, const QString &text,
                                      bool (PagerLink::*write)(float))
{
    const char *logged = write == &PagerLink::writeNeutronSigma ? setting::neutronSigma
                         : write == &PagerLink::writeGammaSigma ? setting::gammaSigma
                                                                : setting::doseRateThreshold;
    const bool sigma = write != &PagerLink::writeDoseRateThreshold;
    const std::optional<float> value = parseSettingNumber(text);
    if (!value && !settingNumberOutOfRange(text)) {
        report(tr("%1: «%2» — не число. Значение не отправлено.").arg(name, text));
        return;
    }
    if (!value || (sigma ? !sigmaFitsWire(*value) : !thresholdFitsWire(*value))) {
        // The largest sigma the register holds is 65535 tenths.
        report(tr("%1: «%2» вне допустимого диапазона (от 0 до %3).")
                   .arg(name, text, sigma ? tr("6553,5") : tr("3,4e38")));
        return;
    }
    if (!beginDeviceAction())
        return;
    const bool ok = (link.*write)(*value);
    // The value as it travels: sigmas in whole tenths.
    const QString archived =
        archiveSettingChange(logged, renderSetting(sigma ? sigmaAsKept(*value) : *value),
                             settingOutcome(ok, link.lastExchangeAnswered));
    endDeviceAction();
    if (!ok) {
        report(tr("%1: прибор отклонил или не подтвердил значение %2.").arg(name, text) + archived);
        return;
    }
    const float kept = sigma ? sigmaAsKept(*value) : *value;
    report(tr("%1: значение %2 сохранено в приборе.").arg(name, renderSetting(kept)) + archived);
}

void MainWindow::on_btnSaveSn_clicked()
{
    storeRegisterSetting(tr("Нейтронный канал"), ui->edtSn->text(), &PagerLink::writeNeutronSigma);
}

void MainWindow::on_btnSaveSg_clicked()
{
    storeRegisterSetting(tr("Гамма канал"), ui->edtSg->text(), &PagerLink::writeGammaSigma);
}

void MainWindow::on_btnSaveMED_clicked()
{
    storeRegisterSetting(tr("Порог МЭД"), ui->edtMED->text(), &PagerLink::writeDoseRateThreshold);
}

void MainWindow::on_btnSaveThist_clicked()
{
    const QString text = ui->edtThist->text();
    const std::optional<unsigned> minutes = parseHistoryInterval(text);
    if (!minutes) {
        report(tr("Интервал истории: «%1» — не целое число минут от 0 до 65535.").arg(text));
        return;
    }
    if (!beginDeviceAction())
        return;
    const bool ok = link.setHistoryInterval(*minutes);
    const QString archived =
        archiveSettingChange(setting::historyInterval, QString::number(*minutes),
                             settingOutcome(ok, link.lastExchangeAnswered));
    endDeviceAction();
    if (ok)
        report(tr("Интервал истории %1 мин сохранён в приборе.").arg(*minutes) + archived);
    else
        report(
            tr("Интервал истории: прибор отклонил или не подтвердил значение %1.").arg(*minutes) +
            archived);
}
