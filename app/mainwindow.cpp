#include "mainwindow.h"

#include "csvexport.h"
#include "devicewrite.h"
#include "filedialogs.h"
#include "helpfile.h"
#include "historydownload.h"
#include "historyplot.h"
#include "historytablemodel.h"
#include "historyview.h"
#include "pagerchooser.h"
#include "pdfjournal.h"
#include "recordexport.h"
#include "savenames.h"
#include "settingfield.h"
#include "settingvalues.h"
#include "statuslabel.h"
#include "statusmessages.h"
#include "ui_mainwindow.h"
#include "usbsettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

MainWindow *mainWindowInstance = nullptr;

namespace {

const QString geometryKey = QStringLiteral("window/geometry");

} // namespace

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
    tickClocks();
    auto *clockTimer = new QTimer(this);
    connect(clockTimer, &QTimer::timeout, this, &MainWindow::tickClocks);
    clockTimer->start(1000);

    fieldSn = new SettingField(ui->edtSn);
    fieldSg = new SettingField(ui->edtSg);
    fieldMED = new SettingField(ui->edtMED);
    fieldThist = new SettingField(ui->edtThist);

    historyModel = new HistoryTableModel();
    ui->tableView->setModel(historyModel);
    // The rows are sized by the date and the event; the numbers never wrap.
    setUpHistoryView(ui->tableView, historyNumberColumns());

    // What happened to the last action is always told here.
    statusLabel = new StatusLabel(this);
    statusLabel->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(statusLabel, 1);
    // Escape ends a running download after its current page, wherever the
    // focus is: seen before any widget (the menu bar after a menu was closed
    // with Escape keeps the key for itself).
    qApp->installEventFilter(this);

#ifndef Q_OS_WIN
    // «Прибор → Подключение USB…»: further USB ids and the USB trace.
    ui->menu_2->addSeparator();
    QAction *usbSettings = ui->menu_2->addAction(tr("Подключение USB…"));
    usbSettings->setObjectName(QStringLiteral("menuUsbSettings"));
    connect(usbSettings, &QAction::triggered, this, [this] {
        UsbSettingsDialog dialog(this);
        if (dialog.exec() == QDialog::Accepted)
            report(tr("Настройка подключения USB сохранена."));
    });
#endif
    setUpClockSetting();

    // The size and place the operator left it at (727 x 555 the first time).
    restoreGeometry(QSettings().value(geometryKey).toByteArray());

    openArchive(Archive::defaultFileName());
    connect(&syncWatcher, &QFutureWatcherBase::finished, this, &MainWindow::syncEnded);
    // The pager chooser names when each pager was last read, from the archive.
    lastReadLookup = [this](const QString &serial) {
        return archive.isOpen() ? archive.lastReadTimes().value(serial) : QDateTime();
    };
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

void MainWindow::fillHistoryTable(const QList<HistoryRecord *> &records, const QTimeZone &zone)
{
    historyModel->setRecords(records, zone);
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

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A shortcut override comes first for every key press; an open menu
    // takes its Escape for itself.
    if (deviceBusy && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        !QApplication::activePopupWidget())
        stopDownload();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::stopDownload()
{
    if (downloadStopRequested)
        return;
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
    // A synchronisation is let end (its connections are its own; the window
    // waits for it a bounded time, and a second close does not wait).
    if (isSyncRunning() && !closeAfterSync) {
        closeAfterSync = true;
        report(tr("Окно закроется, когда закончится синхронизация с сервером лаборатории…"));
        QTimer::singleShot(syncCloseWaitMs, this, &MainWindow::close);
        event->ignore();
        return;
    }
    QSettings().setValue(geometryKey, saveGeometry());
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
    QString failure;
    if (!connectChosenPager(link, this, lastReadLookup, &failure, [this](const QString &serial) {
            return calibrationNote(serial).trimmed();
        })) {
        report(failure);
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

void MainWindow::showSetting(SettingField *field, const QString &text, QStringList *notShown,
                             const QString &name)
{
    // A text longer than the field would be cut and, stored back, change the
    // setting: such a value is named in the status bar and the field left empty.
    if (text.size() > field->lineEdit()->maxLength()) {
        field->forget();
        notShown->append(QStringLiteral("%1 = %2").arg(name, text));
    } else {
        field->setReported(text);
    }
}

void MainWindow::on_menuConnect_triggered()
{
    // Reading the parameters chooses the pager afresh when several answer.
    if (refuseDuringDownload())
        return;
    link.wantedSerial.clear();
    if (!beginDeviceAction())
        return;
    ui->lblSN->setText(tr("SN: %1").arg(link.serialNumber));
    showCalibrationDateOf(link.serialNumber);
    QStringList notShown;
    QStringList unanswered;
    bool ok = false;
    const QDateTime pcClock = QDateTime::currentDateTime();
    const QDateTime deviceClock = link.readDeviceTime(&ok);
    showDeviceClock(deviceClock, ok);
    if (!ok)
        unanswered << tr("часы");
    // A value the pager did not give is not shown: a 0 in its place could be
    // stored back as if it were the setting.
    auto show = [&](SettingField *field, const QString &text, bool answered, const QString &name) {
        if (answered) {
            showSetting(field, text, &notShown, name);
        } else {
            field->forget();
            unanswered << name;
        }
    };
    const float neutron = link.readNeutronSigma(&ok);
    show(fieldSn, renderSetting(neutron), ok, tr("нейтроны"));
    const float gamma = link.readGammaSigma(&ok);
    show(fieldSg, renderSetting(gamma), ok, tr("гамма"));
    const float threshold = link.readDoseRateThreshold(&ok);
    show(fieldMED, renderSetting(threshold), ok, tr("порог"));
    // The plot draws it over this pager's history (and forgets it when unread).
    madePlotWindow()->setDoseRateThreshold(link.serialNumber, ok ? double(threshold) : qQNaN());
    const int interval = link.readHistoryInterval(&ok);
    show(fieldThist, QString::number(interval), ok, tr("интервал"));
    endDeviceAction();
    // What the pager answered goes to the archive, as the command-line tool's params.
    ParameterRead read;
    read.serialNumber = link.serialNumber;
    if (!unanswered.contains(tr("часы")))
        read.clockOffset = pcClock.secsTo(deviceClock);
    if (!unanswered.contains(tr("часы")))
        read.values.append({QLatin1String(setting::deviceTime),
                            deviceClock.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    const std::pair<const char *, QLineEdit *> fields[] = {
        {setting::neutronSigma, ui->edtSn},
        {setting::gammaSigma, ui->edtSg},
        {setting::doseRateThreshold, ui->edtMED},
        {setting::historyInterval, ui->edtThist}};
    for (const auto &[name, edit] : fields)
        if (!edit->text().isEmpty())
            read.values.append({QLatin1String(name), edit->text()});
    const QString archived = archiveParameterRead(read);

    QString message = tr("Параметры прочитаны.");
    if (!unanswered.isEmpty())
        message = tr("Прибор не ответил на чтение: %1.").arg(unanswered.join(QStringLiteral(", ")));
    if (!notShown.isEmpty())
        message += tr(" Не помещается в поле: %1.").arg(notShown.join(QStringLiteral(", ")));
    report(message + archived + calibrationNote(link.serialNumber));
}

void MainWindow::on_menuReadHistory_triggered()
{
    if (!beginDeviceAction())
        return;
    QElapsedTimer clock;
    clock.start();
    downloadStopRequested = false;
    ui->lblHistoryPage->setText(tr("Считанных страниц:"));
    ui->lblSN->setText(tr("SN: %1").arg(link.serialNumber));
    showCalibrationDateOf(link.serialNumber);
    report(tr("Чтение истории…"));
    link.readInfo();
    qDeleteAll(historyRecords);
    historyRecords.clear();
    historyModel->clear();
    // The plot window stays on screen but takes no input meanwhile: a file
    // dialog opened from it would hold the download up.
    if (QWidget *plot = historyPlotWindow())
        plot->setEnabled(false);
    const HistoryDownloadResult result = downloadHistory(
        link, historyRecords, showHistoryProgress, keepDownloadedPages(link.serialNumber),
        [this]() { return downloadStopRequested; });
    // Flagged as the archive flags them, against the interval last read.
    flagDownloadedRecords(
        shownHistory, historyRecords,
        archive.isOpen()
            ? archive.lastReportedValue(link.serialNumber, QLatin1String(setting::historyInterval))
                  .toInt()
            : 0);
    fillHistoryTable(historyRecords);
    historyShown();
    if (QWidget *plot = historyPlotWindow())
        plot->setEnabled(true);
    const ClockAtDownload clockAtDownload = checkClockAtDownload(result.complete());
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
                       QStringLiteral("download"), clockAtDownload.offset);
    const QString clockSet = clockAtDownloadMessage(clockAtDownload);
    report(historyDownloadMessage(end, historyRecords.size(), result.pages, clock.elapsed()) +
           archived + clockSet + calibrationNote(link.serialNumber));
    downloadStopRequested = false;
    if (closeAfterDownload)
        close();
}

void MainWindow::on_menuHelp_triggered()
{
    // An installed program (in the prefix's bin folder, e.g. /usr/bin, or
    // under Program Files on Windows) keeps no copy in the system's folders,
    // whoever runs it: the copy goes into the user's own folder.
    QString programDir = QCoreApplication::applicationDirPath();
#ifdef Q_OS_WIN
    programDir.clear();
#else
    if (QDir(programDir).dirName() == QLatin1String(DR7326G_INSTALL_BINDIR))
        programDir.clear();
#endif
    QString error;
    const QString path = prepareHelpFile(QStringLiteral(":/text/resources/help.pdf"), programDir,
                                         programDataFolder(), &error);
    const QString version = QStringLiteral(PROJECT_VERSION);
    if (path.isEmpty()) {
        report(tr("Справку не удалось подготовить к просмотру (версия программы %1): %2.")
                   .arg(version, error));
        return;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        report(tr("Справка открыта (версия программы %1): %2")
                   .arg(version, QDir::toNativeSeparators(path)));
        return;
    }
    // No viewer here: the operator may keep the document to read elsewhere.
    const QString target = askSaveFileName(
        this, tr("Нет программы просмотра PDF — сохранить справку"), tr("Документ PDF (*.pdf)"),
        tr("Справка_DR7326G-05A.pdf"), QStringLiteral("pdf"));
    if (target.isEmpty()) {
        report(tr("Нет программы просмотра PDF (версия программы %1); справка: %2")
                   .arg(version, QDir::toNativeSeparators(path)));
        return;
    }
    QFile source(path);
    QString saveError;
    if (!source.open(QIODevice::ReadOnly)) {
        reportSaveFailure(target, source.errorString());
        return;
    }
    const QByteArray document = source.readAll();
    if (saveAllOrNothing(target, &saveError,
                         [&](QIODevice *out) { return writeAllBytes(out, document, &saveError); }))
        report(tr("Справка сохранена: %1").arg(QDir::toNativeSeparators(target)));
    else
        reportSaveFailure(target, saveError);
}

QDate MainWindow::shownHistoryDate() const
{
    return shownHistory.downloadedAt.isValid() ? shownHistory.downloadedAt.date()
                                               : QDate::currentDate();
}

bool MainWindow::refuseEmptyTable(const QString &what)
{
    if (historyModel->rowCount() > 0)
        return false;
    report(tr("%1 не сохранён: таблица истории пуста. Прочитайте историю из прибора или "
              "откройте дамп истории.")
               .arg(what));
    return true;
}

QString MainWindow::askTableFileName(SavedFile kind, const QString &what, const QString &title,
                                     const QString &filter, QString *selectedFilter)
{
    if (refuseDuringDownload() || refuseEmptyTable(what))
        return QString();
    // The file names the pager of its rows, and so its calibration date.
    if (journalSerialNumber() != calibrationSerial)
        showCalibrationDateOf(journalSerialNumber());
    return askSaveFileName(this, title, filter,
                           suggestedFileName(kind, journalSerialNumber(), shownHistoryDate()),
                           savedFileSuffix(kind), selectedFilter);
}

void MainWindow::on_menuSaveHistory_triggered()
{
    QString filter;
    const QString fileName = askTableFileName(
        SavedFile::History, tr("Файл"), tr("Сохранить историю"), historyCsvFilters(), &filter);
    if (fileName.isEmpty())
        return;
    QString error;
    if (isMachineCsvFilter(filter)
            ? saveRecords(ui->tableView->model(), RecordFormat::Csv, fileName, &error)
            : saveHistoryCsv(ui->tableView->model(), ui->dateControl->date(), fileName, &error,
                             QLocale(), shownHistoryOverdueSince()))
        report(tr("История сохранена: %1").arg(QDir::toNativeSeparators(fileName)));
    else
        reportSaveFailure(fileName, error);
}

void MainWindow::on_menuPrintHistory_triggered()
{
    const QString fileName = askTableFileName(SavedFile::Journal, tr("Отчёт"),
                                              tr("Сохранить отчёт"), tr("Документ PDF (*.pdf)"));
    if (fileName.isEmpty())
        return;
    QString error;
    int sheets = 0;
    // A long journal takes a while: each sheet is told, and painted at once.
    const JournalProgress progress = [this](int sheet, int of) {
        report(tr("Сохранение отчёта: лист %1 из %2…").arg(sheet).arg(of));
        statusLabel->repaint();
    };
    if (saveJournalPdf(ui->tableView->model(), journalSerialNumber(), ui->dateControl->date(),
                       fileName, &error, progress, &sheets, shownHistoryOverdueSince()))
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
    QDateTime readBack;
    const PagerLink::ClockSetOutcome outcome = link.setDeviceTimeConfirmed(now, &readBack);
    const bool answered = link.lastRequestAnswered();
    endDeviceAction();
    // Once the pager was asked, the clock shown is the one it read back (when
    // it said nothing, none).
    if (outcome != PagerLink::ClockSetOutcome::OutOfRange)
        showDeviceClock(readBack.isValid() ? readBack : deviceEpoch(), readBack.isValid());
    report(clockSetMessage(outcome, now) +
           archiveSettingChange(
               setting::deviceTime, now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
               outcome == PagerLink::ClockSetOutcome::Confirmed ? SettingOutcome::Stored
               : answered                                       ? SettingOutcome::NotConfirmed
                                                                : SettingOutcome::NoAnswer,
               readBack.isValid() ? QVariant(now.secsTo(readBack)) : QVariant()));
}

void MainWindow::showDeviceClock(const QDateTime &read, bool answered)
{
    deviceClockRead = answered ? read : QDateTime();
    sinceDeviceClockRead.start();
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm");
    ui->dtDevice->setToolTip(
        answered ? tr("Часы прибора: %1, прочитаны в %2 по часам ПК; дальше идут от прочитанного.")
                       .arg(read.toString(format), QTime::currentTime().toString())
                 : tr("Прибор не ответил на чтение часов."));
    ui->dtDevice->setDateTime(read);
    tickClocks();
}

void MainWindow::tickClocks()
{
    ui->dtPC->setDateTime(QDateTime::currentDateTime());
    if (deviceClockRead.isValid())
        ui->dtDevice->setDateTime(deviceClockRead.addMSecs(sinceDeviceClockRead.elapsed()));
}

bool MainWindow::confirmUnusual(const QString &name, SettingKind kind, double value,
                                const QString &shown)
{
    if (!isUnusualSetting(kind, value))
        return true;
    const SettingBand band = usualSettingBand(kind);
    const QString unit = kind == SettingKind::Sigma               ? tr("сигм")
                         : kind == SettingKind::DoseRateThreshold ? tr("Зв/ч")
                                                                  : tr("мин");
    QMessageBox box(QMessageBox::Warning, tr("Необычное значение"),
                    tr("%1: %2 %3 — далеко за обычными пределами (от %4 до %5 %3).\n\n"
                       "Записать это значение в прибор?")
                        .arg(name, shown, unit, renderSetting(float(band.low)),
                             renderSetting(float(band.high))),
                    QMessageBox::NoButton, this);
    QPushButton *send = box.addButton(tr("Записать"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(tr("Не записывать"), QMessageBox::RejectRole));
    box.exec();
    if (box.clickedButton() == send)
        return true;
    report(tr("%1: значение %2 %3 не отправлено.").arg(name, shown, unit));
    return false;
}

void MainWindow::storeRegisterSetting(const QString &name, SettingField *field,
                                      bool (PagerLink::*write)(float))
{
    const QString text = field->lineEdit()->text();
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
    // What the pager will keep (sigmas in tenths) is what is asked about.
    const float kept = sigma ? sigmaAsKept(*value) : *value;
    if (refuseDuringDownload() ||
        !confirmUnusual(name, sigma ? SettingKind::Sigma : SettingKind::DoseRateThreshold, kept,
                        renderSetting(kept)))
        return;
    // From here on a value the pager did not take gives way to its own.
    if (!beginDeviceAction()) {
        field->restore();
        return;
    }
    const bool ok = (link.*write)(*value);
    const SettingOutcome outcome = settingOutcome(ok, link.lastRequestAnswered());
    // The value as it travels: sigmas in whole tenths.
    const QString archived = archiveSettingChange(logged, renderSetting(kept), outcome,
                                                  ok ? link.readClockOffset() : QVariant());
    endDeviceAction();
    if (!ok) {
        field->restore();
        report(tr("%1: прибор отклонил или не подтвердил значение %2.").arg(name, text) + archived);
        return;
    }
    field->setReported(renderSetting(kept));
    if (!sigma) // the plot's threshold line follows what the pager now keeps
        madePlotWindow()->setDoseRateThreshold(link.serialNumber, double(kept));
    report(tr("%1: значение %2 сохранено в приборе.").arg(name, renderSetting(kept)) + archived);
}

void MainWindow::on_btnSaveSn_clicked()
{
    storeRegisterSetting(tr("Нейтронный канал"), fieldSn, &PagerLink::writeNeutronSigma);
}

void MainWindow::on_btnSaveSg_clicked()
{
    storeRegisterSetting(tr("Гамма канал"), fieldSg, &PagerLink::writeGammaSigma);
}

void MainWindow::on_btnSaveMED_clicked()
{
    storeRegisterSetting(tr("Порог МЭД"), fieldMED, &PagerLink::writeDoseRateThreshold);
}

void MainWindow::on_btnSaveThist_clicked()
{
    const QString text = ui->edtThist->text();
    const std::optional<unsigned> minutes = parseHistoryInterval(text);
    if (!minutes) {
        report(tr("Интервал истории: «%1» — не целое число минут от 0 до 65535.").arg(text));
        return;
    }
    if (refuseDuringDownload() ||
        !confirmUnusual(tr("Интервал истории"), SettingKind::HistoryInterval, *minutes,
                        QString::number(*minutes)))
        return;
    if (!beginDeviceAction()) {
        fieldThist->restore();
        return;
    }
    const bool ok = link.setHistoryInterval(*minutes);
    const SettingOutcome outcome = settingOutcome(ok, link.lastRequestAnswered());
    const QString archived =
        archiveSettingChange(setting::historyInterval, QString::number(*minutes), outcome,
                             ok ? link.readClockOffset() : QVariant());
    endDeviceAction();
    if (ok) {
        fieldThist->setReported(QString::number(*minutes));
        report(tr("Интервал истории %1 мин сохранён в приборе.").arg(*minutes) + archived);
    } else {
        fieldThist->restore();
        report(
            tr("Интервал истории: прибор отклонил или не подтвердил значение %1.").arg(*minutes) +
            archived);
    }
}

void MainWindow::on_edtSn_returnPressed()
{
    on_btnSaveSn_clicked();
}

void MainWindow::on_edtSg_returnPressed()
{
    on_btnSaveSg_clicked();
}

void MainWindow::on_edtMED_returnPressed()
{
    on_btnSaveMED_clicked();
}

void MainWindow::on_edtThist_returnPressed()
{
    on_btnSaveThist_clicked();
}
