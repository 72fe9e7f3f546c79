#include "mainwindow.h"

#include "csvexport.h"
#include "helpfile.h"
#include "historytable.h"
#include "pdfjournal.h"
#include "settingvalues.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
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
    ui->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    // What happened to the last action is always told here.
    statusBar();

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
}

void MainWindow::report(const QString &message)
{
    statusBar()->showMessage(message);
}

bool MainWindow::beginDeviceAction()
{
    if (deviceBusy) {
        report(tr("Идёт чтение истории: дождитесь его окончания."));
        return false;
    }
    if (link.connect().isEmpty()) {
        report(tr("Пейджер не ответил. Проверьте, что он включён и подключён к USB."));
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
        unanswered << tr("часы прибора");
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
    show(ui->edtSn, renderSetting(neutron), ok, tr("нейтронный канал"));
    const float gamma = link.readGammaSigma(&ok);
    show(ui->edtSg, renderSetting(gamma), ok, tr("гамма канал"));
    const float threshold = link.readDoseRateThreshold(&ok);
    show(ui->edtMED, renderSetting(threshold), ok, tr("порог МЭД"));
    const int interval = link.readHistoryInterval(&ok);
    show(ui->edtThist, QString::number(interval), ok, tr("интервал истории"));
    endDeviceAction();

    QString message = tr("Параметры прочитаны.");
    if (!unanswered.isEmpty())
        message = tr("Параметры прочитаны не полностью. Прибор не ответил: %1.")
                      .arg(unanswered.join(QStringLiteral(", ")));
    if (!notShown.isEmpty())
        message +=
            tr(" Не помещается в поле (не показано): %1.").arg(notShown.join(QStringLiteral(", ")));
    report(message);
}

void MainWindow::on_menuReadHistory_triggered()
{
    if (!beginDeviceAction())
        return;
    ui->lblHistoryPage->setText(tr("Считанных страниц:"));
    link.readInfo();
    qDeleteAll(historyRecords);
    historyRecords.clear();
    historyModel->removeRows(0, historyModel->rowCount());
    const bool complete = downloadHistory(link, historyRecords, showHistoryProgress,
                                          keepDownloadedPages(link.serialNumber))
                              .complete();
    fillHistoryTable(historyRecords);
    historyShown();
    endDeviceAction();
    if (complete)
        report(tr("История прочитана: записей %1.").arg(historyRecords.size()));
    else
        report(tr("История прочитана не полностью: прибор перестал отвечать или часть "
                  "страниц не получена. Показаны полученные записи: %1.")
                   .arg(historyRecords.size()));
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
        report(tr("Справка сохранена в %1, но открыть её не удалось: "
                  "не найдена программа просмотра PDF.")
                   .arg(QDir::toNativeSeparators(path)));
}

void MainWindow::on_menuSaveHistory_triggered()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save file"), QString(), tr("CSV file (*.csv);;All Files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (saveHistoryCsv(ui->tableView->model(), ui->dateControl->date(), fileName, &error))
        report(tr("История сохранена: %1").arg(QDir::toNativeSeparators(fileName)));
    else
        report(tr("Файл не сохранён: %1 (%2)").arg(QDir::toNativeSeparators(fileName), error));
}

void MainWindow::on_menuPrintHistory_triggered()
{
    QFileDialog dialog(this, tr("Сохранить как PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setMimeTypeFilters({QStringLiteral("application/pdf")});
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString fileName = dialog.selectedFiles().constFirst();
    QString error;
    if (saveJournalPdf(ui->tableView->model(), journalSerialNumber(), ui->dateControl->date(),
                       fileName, &error))
        report(tr("Отчёт сохранён: %1").arg(QDir::toNativeSeparators(fileName)));
    else
        report(tr("Файл не сохранён: %1 (%2)").arg(QDir::toNativeSeparators(fileName), error));
}

void MainWindow::on_btnSync_clicked()
{
    if (!beginDeviceAction())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const bool ok = link.setDeviceTime(now);
    endDeviceAction();
    if (ok)
        report(tr("Часы прибора установлены: %1.")
                   .arg(now.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    else
        report(tr("Пейджер не подтвердил установку часов."));
}

void MainWindow::storeRegisterSetting(const QString &name, const QString &text,
                                      bool (PagerLink::*write)(float))
{
    const std::optional<float> value = parseSettingNumber(text);
    if (!value) {
        report(tr("%1: «%2» — не число. Значение не отправлено.").arg(name, text));
        return;
    }
    const bool sigma = write != &PagerLink::writeDoseRateThreshold;
    if (sigma ? !sigmaFitsWire(*value) : !thresholdFitsWire(*value)) {
        report(tr("%1: значение %2 вне допустимого диапазона. Значение не отправлено.")
                   .arg(name, text));
        return;
    }
    if (!beginDeviceAction())
        return;
    const bool ok = (link.*write)(*value);
    endDeviceAction();
    if (!ok) {
        report(tr("%1: пейджер отклонил или не подтвердил значение %2.").arg(name, text));
        return;
    }
    const float kept = sigma ? sigmaAsKept(*value) : *value;
    report(tr("%1: значение %2 сохранено в приборе.").arg(name, renderSetting(kept)));
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
        report(tr("Интервал истории: «%1» — не целое число минут от 0 до 65535. "
                  "Значение не отправлено.")
                   .arg(text));
        return;
    }
    if (!beginDeviceAction())
        return;
    const bool ok = link.setHistoryInterval(*minutes);
    endDeviceAction();
    if (ok)
        report(tr("Интервал истории %1 мин сохранён в приборе.").arg(*minutes));
    else
        report(
            tr("Интервал истории: пейджер отклонил или не подтвердил значение %1.").arg(*minutes));
}
