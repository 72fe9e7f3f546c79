// The window's calibration date and the pager's clock: the date field shows
// the pager's last passed calibration from the archive and a new date
// entered records a calibration; the pager's clock offset is kept with each
// read, and a download sets a clock that is off by more than allowed.
#include "mainwindow.h"

#include "archivewindow.h"
#include "calibrationsettings.h"
#include "pagerlink.h"
#include "ui_mainwindow.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

namespace {

const QString clockBeyondKey = QStringLiteral("clock/setBeyondSeconds");
constexpr int defaultClockBeyond = 30;

} // namespace

void MainWindow::showCalibrationDateOf(const QString &serialNumber)
{
    calibrationSerial = serialNumber;
    QDate date;
    if (archive.isOpen() && !serialNumber.isEmpty())
        date = archive.calibrationStateOf(serialNumber, QDate::currentDate()).lastPassedDate;
    else if (!serialNumber.isEmpty())
        date = QSettings().value(keptCalibrationKey(serialNumber)).toDate();
    if (!date.isValid())
        return;
    const QSignalBlocker quiet(ui->dateControl);
    ui->dateControl->setDate(date);
    askedCalibrationDate = date;
    calibrationDateEdited = false;
}

QDate MainWindow::calibrationDateOf(const QString &serialNumber) const
{
    // The field's date is the one for the pager it shows (also when kept
    // for this report only).
    if (serialNumber.isEmpty() || serialNumber == calibrationSerial)
        return ui->dateControl->date();
    const QDate date = archive.isOpen()
                           ? const_cast<Archive &>(archive)
                                 .calibrationStateOf(serialNumber, QDate::currentDate())
                                 .lastPassedDate
                           : QSettings().value(keptCalibrationKey(serialNumber)).toDate();
    return date.isValid() ? date : ui->dateControl->date();
}

void MainWindow::on_dateControl_dateChanged(const QDate &date)
{
    calibrationDateEdited = true;
    // Without an archive the date is kept in this PC's settings, as before.
    if (!archive.isOpen() && !calibrationSerial.isEmpty())
        QSettings().setValue(keptCalibrationKey(calibrationSerial), date);
}

void MainWindow::on_dateControl_editingFinished()
{
    const QDate date = ui->dateControl->date();
    // Only a date the operator changed, once.
    if (!calibrationDateEdited || calibrationSerial.isEmpty() || !archive.isOpen() ||
        archive.isReadOnly() || date == askedCalibrationDate)
        return;
    calibrationDateEdited = false;
    askedCalibrationDate = date;
    const CalibrationState state = archive.calibrationStateOf(calibrationSerial, date);
    if (state.lastPassedDate == date)
        return;
    // Asked once for this date: the certificate and the interval.
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("calibrationDialog"));
    dialog.setWindowTitle(tr("Поверка прибора %1").arg(calibrationSerial));
    auto *layout = new QFormLayout(&dialog);
    layout->addRow(new QLabel(
        tr("Внести в архив поверку от %1?").arg(date.toString(QStringLiteral("dd.MM.yyyy")))));
    auto *certificate = new QLineEdit(&dialog);
    certificate->setObjectName(QStringLiteral("edtCertificate"));
    layout->addRow(tr("Номер свидетельства:"), certificate);
    auto *interval = new QSpinBox(&dialog);
    interval->setObjectName(QStringLiteral("spnInterval"));
    interval->setRange(1, 240);
    interval->setValue(12);
    interval->setSuffix(tr(" мес."));
    layout->addRow(tr("Межповерочный интервал:"), interval);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *record = buttons->addButton(tr("Внести поверку"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Только для этого отчёта"), QDialogButtonBox::RejectRole);
    record->setEnabled(false);
    connect(certificate, &QLineEdit::textChanged, record,
            [record](const QString &text) { record->setEnabled(!text.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        report(tr("Дата поверки %1 — только для этого отчёта; в архив не внесена.")
                   .arg(date.toString(QStringLiteral("dd.MM.yyyy"))));
        return;
    }
    Calibration c;
    c.serialNumber = calibrationSerial;
    c.date = date;
    c.certificate = certificate->text().trimmed();
    c.intervalMonths = interval->value();
    QString error;
    if (!archive.storeCalibration(c, &error)) {
        report(tr("Поверка не внесена в архив: %1.").arg(error));
        return;
    }
    syncAfterStoring();
    if (archiveWindow)
        archiveWindow->reload();
    report(tr("Поверка прибора %1 от %2 внесена в архив. %3.")
               .arg(calibrationSerial, date.toString(QStringLiteral("dd.MM.yyyy")),
                    calibrationStatusText(
                        archive.calibrationStateOf(calibrationSerial, QDate::currentDate()))));
}

QString MainWindow::calibrationNote(const QString &serialNumber)
{
    if (!archive.isOpen() || serialNumber.isEmpty())
        return QString();
    const CalibrationState state = archive.calibrationStateOf(serialNumber, QDate::currentDate());
    // A pager never calibrated in this archive is named in the archive
    // window only: a lab that keeps no calibrations here hears nothing of them.
    return state.needsCalibration() && state.status != CalibrationStatus::Never
               ? QLatin1Char(' ') + calibrationStatusText(state) + QLatin1Char('.')
               : QString();
}

QDate MainWindow::shownHistoryOverdueSince()
{
    if (!archive.isOpen() || shownHistory.serialNumber.isEmpty() ||
        !shownHistory.downloadedAt.isValid())
        return QDate();
    const QDate made = shownHistory.downloadedAt.date();
    return archive.calibrationStateOf(shownHistory.serialNumber, made).overdueOn(made);
}

void MainWindow::migrateCalibrationDates()
{
    QSettings settings;
    QString error;
    const int added = migrateKeptCalibrationDates(archive, settings, &error);
    if (added > 0)
        report(tr("Даты поверки, хранившиеся на этом ПК, внесены в архив как поверки: %1.")
                   .arg(added));
    else if (added < 0)
        report(tr("Даты поверки этого ПК не внесены в архив: %1. Программа попробует снова при "
                  "следующем запуске.")
                   .arg(error));
}

int MainWindow::clockBeyondSeconds() const
{
    return QSettings().value(clockBeyondKey, 0).toInt();
}

void MainWindow::setUpClockSetting()
{
    QAction *action = new QAction(this);
    action->setObjectName(QStringLiteral("menuSetClockBeyond"));
    action->setCheckable(true);
    const auto update = [this, action] {
        const int beyond = clockBeyondSeconds();
        action->setChecked(beyond > 0);
        action->setText(tr("Ставить часы прибора, если расходятся больше чем на %1 с…")
                            .arg(beyond > 0 ? beyond : defaultClockBeyond));
    };
    update();
    connect(action, &QAction::triggered, this, [this, update](bool on) {
        int beyond = 0;
        if (on) {
            bool ok = false;
            beyond = QInputDialog::getInt(this, tr("Часы прибора"),
                                          tr("Ставить часы прибора при чтении истории, если они "
                                             "расходятся с часами ПК больше чем на (с):"),
                                          defaultClockBeyond, 1, 86400, 1, &ok);
            if (!ok)
                beyond = 0;
        }
        QSettings().setValue(clockBeyondKey, beyond);
        update();
        report(beyond > 0 ? tr("Часы прибора будут ставиться при чтении истории, если "
                               "расходятся больше чем на %1 с.")
                                .arg(beyond)
                          : tr("Часы прибора при чтении истории не ставятся."));
    });
    // Under «Прочитать историю», which it belongs to.
    const QList<QAction *> entries = ui->menu_2->actions();
    const int next = entries.indexOf(ui->menuReadHistory) + 1;
    ui->menu_2->insertAction(next < entries.size() ? entries.at(next) : nullptr, action);
}

MainWindow::ClockAtDownload MainWindow::checkClockAtDownload(bool complete)
{
    ClockAtDownload clock;
    if (!complete)
        return clock;
    bool ok = false;
    const QDateTime pc = QDateTime::currentDateTime();
    const QDateTime device = link.readDeviceTime(&ok);
    if (!ok)
        return clock;
    clock.offset = pc.secsTo(device);
    const int beyond = clockBeyondSeconds();
    if (beyond <= 0 || !deviceClockOffBeyond(pc.secsTo(device), beyond))
        return clock;
    clock.set = true;
    clock.sentAt = QDateTime::currentDateTime();
    QDateTime readBack;
    const PagerLink::ClockSetOutcome outcome = link.setDeviceTimeConfirmed(clock.sentAt, &readBack);
    clock.outcome = outcome == PagerLink::ClockSetOutcome::Confirmed ? SettingOutcome::Stored
                    : link.lastRequestAnswered()                     ? SettingOutcome::NotConfirmed
                                                                     : SettingOutcome::NoAnswer;
    if (readBack.isValid()) {
        clock.readBackOffset = QDateTime::currentDateTime().secsTo(readBack);
        showDeviceClock(readBack, true);
    }
    return clock;
}

QString MainWindow::clockAtDownloadMessage(const ClockAtDownload &clock)
{
    if (!clock.set)
        return QString();
    const QString logged = archiveSettingChange(
        setting::deviceTime, clock.sentAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        clock.outcome, clock.readBackOffset);
    return (clock.outcome == SettingOutcome::Stored
                ? tr(" Часы прибора расходились с ПК на %1 с и поставлены.")
                : tr(" Часы прибора расходятся с ПК на %1 с; установка не подтверждена."))
               .arg(clock.offset.toLongLong()) +
           logged;
}
