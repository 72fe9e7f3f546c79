#include "archivewindow.h"

#include "archive.h"
#include "archiverecordmodel.h"
#include "background.h"
#include "csvexport.h"
#include "filedialogs.h"
#include "historyplot.h"
#include "historyview.h"
#include "labserver.h"
#include "pdfjournal.h"
#include "recordexport.h"
#include "savenames.h"
#include "settingslog.h"
#include "statusmessages.h"
#include "wearerswindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The pager list's calibration cell: the due date and what it means.
QString calibrationCell(const CalibrationState &s)
{
    const QString due = s.due.toString(QStringLiteral("dd.MM.yyyy"));
    switch (s.status) {
    case CalibrationStatus::Current:
        return ArchiveWindow::tr("до %1").arg(due);
    case CalibrationStatus::DueSoon:
        return ArchiveWindow::tr("истекает %1").arg(due);
    case CalibrationStatus::Overdue:
        return ArchiveWindow::tr("просрочена с %1").arg(due);
    case CalibrationStatus::Failed:
        return ArchiveWindow::tr("не пройдена %1")
            .arg(s.lastDate.toString(QStringLiteral("dd.MM.yyyy")));
    case CalibrationStatus::Never:
        break;
    }
    return ArchiveWindow::tr("не было");
}

// Overdue or failed: light red; due soon: light yellow; never: light grey.
QColor calibrationTint(CalibrationStatus status)
{
    switch (status) {
    case CalibrationStatus::Overdue:
    case CalibrationStatus::Failed:
        return QColor(255, 205, 205);
    case CalibrationStatus::DueSoon:
        return QColor(255, 240, 180);
    case CalibrationStatus::Never:
        return QColor(225, 225, 225);
    case CalibrationStatus::Current:
        break;
    }
    return QColor();
}

QString dateTimeText(const QDateTime &t, const QTimeZone &zone)
{
    return t.isValid() ? t.toTimeZone(zone).toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                       : QString();
}

// Narrow enough for the pagers table's columns.
QString shortDateTime(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yy HH:mm")) : QString();
}

QString dayText(const QDate &d)
{
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// The records table. With no row current (a new period), Ctrl+End goes to
// the last row, as it does from any row, not to the first.
class RecordsView : public QTableView
{
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const QAbstractItemModel *rows = model();
        if (action == MoveEnd && (modifiers & Qt::ControlModifier) && !currentIndex().isValid() &&
            rows && rows->rowCount() > 0)
            return rows->index(rows->rowCount() - 1, rows->columnCount() - 1);
        return QTableView::moveCursor(action, modifiers);
    }
};

} // namespace

ArchiveWindow::ArchiveWindow(Archive *a, std::function<QDate(const QString &)> date,
                             QWidget *parent, LabServer *server)
    : QWidget(parent, Qt::Window), archive(a), localArchive(a), labServer(server),
      calibrationDate(std::move(date))
{
    setWindowTitle(tr("Архив приборов"));
    resize(900, 650);

    sourceBox = new QComboBox(this);
    sourceBox->setObjectName(QStringLiteral("cmbSource"));
    sourceBox->addItems({tr("этот ПК"), tr("сервер лаборатории")});
    sourceBox->setEnabled(labServer != nullptr);
    connect(sourceBox, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { chooseSource(index == 0 ? Source::Local : Source::Server); });
    connect(&probe, &QFutureWatcherBase::finished, this, &ArchiveWindow::probeEnded);

    pagers = new QTableWidget(0, 7, this);
    pagers->setObjectName(QStringLiteral("tablePagers"));
    pagers->setHorizontalHeaderLabels({tr("Серийный номер"), tr("Записей"), tr("Первая запись"),
                                       tr("Последняя запись"), tr("Последнее чтение"), tr("Тревог"),
                                       tr("Поверка")});
    pagers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pagers->setSelectionBehavior(QAbstractItemView::SelectRows);
    pagers->setSelectionMode(QAbstractItemView::SingleSelection);
    // As the records table: headers wrap, a cut cell is told whole on hover.
    setUpHistoryView(pagers);
    pagers->verticalHeader()->hide();
    pagers->setMaximumHeight(150);

    fromEdit = new QDateEdit(QDate::currentDate().addDays(-30), this);
    fromEdit->setObjectName(QStringLiteral("dateFrom"));
    toEdit = new QDateEdit(QDate::currentDate(), this);
    toEdit->setObjectName(QStringLiteral("dateTo"));
    for (QDateEdit *edit : {fromEdit, toEdit}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    QPushButton *show = button(tr("Показать"), "btnShowPeriod", this);

    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("lblSummary"));
    summary->setWordWrap(true);

    model = new ArchiveRecordModel(archive, this);
    records = new RecordsView(this);
    records->setObjectName(QStringLiteral("tableRecords"));
    records->setModel(model);
    records->setEditTriggers(QAbstractItemView::NoEditTriggers);
    records->setSelectionBehavior(QAbstractItemView::SelectRows);
    setUpLongHistoryView(records);

    QPushButton *plot = button(tr("График периода"), "btnPlotPeriod", this);
    QPushButton *csv = button(tr("Сохранить CSV…"), "btnPeriodCsv", this);
    QPushButton *pdf = button(tr("Сохранить отчёт PDF…"), "btnPeriodPdf", this);
    QPushButton *log = button(tr("Журнал настроек…"), "btnSettingsLog", this);
    QPushButton *wearers = button(tr("Носители…"), "btnWearers", this);
    QPushButton *clock = button(tr("Часы прибора…"), "btnClockOffsets", this);
    QPushButton *reviews = button(tr("На проверку…"), "btnReviews", this);
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("lblArchiveMessage"));
    message->setWordWrap(true);

    auto *period = new QHBoxLayout;
    period->addWidget(new QLabel(tr("Источник:"), this));
    period->addWidget(sourceBox);
    period->addSpacing(12);
    period->addWidget(new QLabel(tr("Период с"), this));
    period->addWidget(fromEdit);
    period->addWidget(new QLabel(tr("по"), this));
    period->addWidget(toEdit);
    period->addWidget(show);
    period->addStretch();
    // The period's plot and files in one row, the pager's logs and the
    // register in the next, so that both fit the window's default width.
    auto *buttons = new QVBoxLayout;
    for (const auto &row : {std::initializer_list<QPushButton *>{plot, csv, pdf},
                            std::initializer_list<QPushButton *>{log, clock, wearers, reviews}}) {
        auto *line = new QHBoxLayout;
        for (QPushButton *b : row)
            line->addWidget(b);
        line->addStretch();
        buttons->addLayout(line);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pagers);
    layout->addLayout(period);
    layout->addWidget(summary);
    layout->addWidget(records, 1);
    layout->addLayout(buttons);
    layout->addWidget(message);

    connect(pagers, &QTableWidget::itemSelectionChanged, this, &ArchiveWindow::showPeriod);
    connect(show, &QPushButton::clicked, this, &ArchiveWindow::showPeriod);
    connect(plot, &QPushButton::clicked, this, &ArchiveWindow::showPlot);
    connect(log, &QPushButton::clicked, this, &ArchiveWindow::showSettingsLog);
    connect(wearers, &QPushButton::clicked, this, &ArchiveWindow::showWearers);
    connect(clock, &QPushButton::clicked, this, &ArchiveWindow::showClockOffsets);
    connect(reviews, &QPushButton::clicked, this, &ArchiveWindow::showReviews);
    connect(csv, &QPushButton::clicked, this, [this]() {
        if (refusePeriod(tr("Файл")))
            return;
        QString filter;
        const QString name = askSaveFileName(
            this, tr("Сохранить записи периода"), historyCsvFilters(),
            offeredPeriodName(SavedFile::History), savedFileSuffix(SavedFile::History), &filter);
        if (!name.isEmpty())
            savePeriodCsv(name, isMachineCsvFilter(filter));
    });
    connect(pdf, &QPushButton::clicked, this, [this]() {
        if (refusePeriod(tr("Отчёт")))
            return;
        const QString name = askSaveFileName(
            this, tr("Сохранить отчёт за период"), tr("Документ PDF (*.pdf)"),
            offeredPeriodName(SavedFile::Journal), savedFileSuffix(SavedFile::Journal));
        if (!name.isEmpty())
            savePeriodPdf(name);
    });
    reload();
}

ArchiveWindow::~ArchiveWindow()
{
    // The probe's connection is its own; it only has to end before we do.
    probe.waitForFinished();
    // The model reads the server's archive, which goes first.
    records->setModel(nullptr);
    delete model;
}

ArchiveWindow::Source ArchiveWindow::source() const
{
    return archive == localArchive ? Source::Local : Source::Server;
}

QString ArchiveWindow::messageText() const
{
    return message->text();
}

void ArchiveWindow::showArchive(Archive *shown)
{
    const QSignalBlocker block(sourceBox);
    sourceBox->setCurrentIndex(shown == localArchive ? 0 : 1);
    if (shown == archive)
        return;
    archive = shown;
    periodSerial.clear(); // its pagers' records lie elsewhere
    ArchiveRecordModel *old = model;
    model = new ArchiveRecordModel(archive, this);
    records->setModel(model);
    delete old;
    // Its rows were those of the other archive.
    if (plotWindow)
        plotWindow->close();
    reload();
    if (reviewsDialog)
        reloadReviews();
}

void ArchiveWindow::fallBack(const QString &why, const QString &detail)
{
    showArchive(localArchive);
    report(withDetail(tr("%1 Показан архив этого ПК.").arg(why), detail));
}

void ArchiveWindow::chooseSource(Source wanted)
{
    if (probe.isRunning())
        return;
    if (wanted == Source::Local) {
        showArchive(localArchive);
    } else if (serverArchive && serverArchive->isOpen()) {
        showArchive(serverArchive.get());
    } else {
        probePasswordAsked = false;
        probeServer();
        return;
    }
    emit sourceShown();
}

void ArchiveWindow::serverChanged()
{
    if (probe.isRunning())
        probe.waitForFinished(); // its result is of the server set before
    const bool shown = source() == Source::Server;
    showArchive(localArchive);
    serverArchive.reset();
    if (shown)
        chooseSource(Source::Server);
}

void ArchiveWindow::probeServer()
{
    QString why;
    if (!labServer || !labServer->current(&probedServer, &why)) {
        fallBack(why.isEmpty() ? tr("Сервер лаборатории не задан.") : why);
        emit sourceShown();
        return;
    }
    report(tr("Подключение к серверу лаборатории %1…").arg(probedServer.uri()));
    sourceBox->setEnabled(false);
    const ArchiveServer server = probedServer;
    probe.setFuture(runInBackground([server]() { return checkServer(server); }));
}

void ArchiveWindow::probeEnded()
{
    sourceBox->setEnabled(true);
    ServerCheck result = probe.result();
    if (result.reached) {
        auto opened = std::make_unique<Archive>();
        QString error;
        result.reached = opened->openServer(probedServer, &error);
        result.problem = opened->openProblem();
        result.detail = opened->openDetail().isEmpty() ? error : opened->openDetail();
        if (result.reached) {
            serverArchive = std::move(opened);
            showArchive(serverArchive.get());
            emit sourceShown();
            return;
        }
    }
    const bool passwordProblem = result.problem == Archive::Problem::NeedsPassword ||
                                 result.problem == Archive::Problem::PasswordRefused;
    if (passwordProblem)
        labServer->forgetPassword(); // the server refused it, or has none
    if (passwordProblem && !probePasswordAsked) {
        probePasswordAsked = true;
        if (labServer->askPassword(this, probedServer)) {
            probeServer();
            return;
        }
    }
    fallBack(serverProblemMessage(result.problem, QString()), result.detail);
    emit sourceShown();
}

void ArchiveWindow::reload()
{
    const QString chosen = chosenSerial();
    message->clear();
    QString error;
    const QList<ArchivePager> list = archive->pagers(&error);
    QHash<QString, CalibrationState> calibrations;
    for (const CalibrationState &s : archive->calibrationStates(QDate::currentDate(), &error))
        calibrations.insert(s.serialNumber, s);
    const QSignalBlocker block(pagers);
    pagers->setRowCount(list.size());
    for (int r = 0; r < list.size(); ++r) {
        const ArchivePager &p = list.at(r);
        const QStringList cells{p.serialNumber,
                                QString::number(p.records),
                                shortDateTime(p.firstRecord),
                                shortDateTime(p.lastRecord),
                                shortDateTime(p.lastDownload),
                                QString::number(p.alarms),
                                calibrationCell(calibrations.value(p.serialNumber))};
        // A pager that wants a calibration is tinted, its state told on hover.
        const CalibrationState state = calibrations.value(p.serialNumber);
        const QColor tint = calibrationTint(state.status);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (tint.isValid()) {
                item->setBackground(tint);
                item->setToolTip(calibrationStatusText(state));
            }
            pagers->setItem(r, c, item);
        }
        pagers->item(r, 0)->setData(Qt::UserRole, p.lastRecord);
    }
    if (!error.isEmpty())
        report(withDetail(tr("Архив не прочитан."), error));
    else if (list.isEmpty() && archive != localArchive)
        report(tr("На сервере лаборатории пока нет приборов: синхронизируйте архив ПК "
                  "(«Архив → Синхронизировать»)."));
    else if (list.isEmpty())
        report(tr("В архиве пока нет приборов: прочитайте историю или откройте дамп."));
    if (!choosePager(chosen) && !list.isEmpty())
        choosePager(list.first().serialNumber);
}

bool ArchiveWindow::choosePager(const QString &serialNumber)
{
    for (int r = 0; r < pagers->rowCount(); ++r) {
        if (pagers->item(r, 0)->text() == serialNumber) {
            const QSignalBlocker block(pagers);
            pagers->selectRow(r);
            showPeriod();
            return true;
        }
    }
    return false;
}

void ArchiveWindow::setPeriod(const QDate &from, const QDate &to)
{
    fromEdit->setDate(from);
    toEdit->setDate(to);
    showPeriod();
}

QString ArchiveWindow::chosenSerial() const
{
    const QList<QTableWidgetItem *> chosen = pagers->selectedItems();
    return chosen.isEmpty() ? QString() : pagers->item(chosen.first()->row(), 0)->text();
}

QString ArchiveWindow::offeredPeriodName(SavedFile kind) const
{
    return suggestedFileName(kind, model->serialNumber(), fromEdit->date(), toEdit->date());
}

QString ArchiveWindow::summaryText() const
{
    return summary->text();
}

void ArchiveWindow::report(const QString &text)
{
    message->setText(text);
}

void ArchiveWindow::showPeriod()
{
    const QString serial = chosenSerial();
    if (serial != periodSerial) {
        periodSerial = serial;
        // Another pager: the 30 days up to its last record, wherever that lies.
        const QList<QTableWidgetItem *> chosen = pagers->selectedItems();
        const QDateTime last =
            chosen.isEmpty()
                ? QDateTime()
                : pagers->item(chosen.first()->row(), 0)->data(Qt::UserRole).toDateTime();
        if (last.isValid()) {
            const QDate to = last.toLocalTime().date();
            fromEdit->setDate(to.addDays(-30));
            toEdit->setDate(to);
        }
    }
    const QDateTime from = fromEdit->date().startOfDay();
    const QDateTime to = toEdit->date().addDays(1).startOfDay();
    model->setPeriod(serial, from, to);
    // A new period opens at its first record, none chosen.
    records->scrollToTop();
    records->setCurrentIndex(QModelIndex());
    fitLongHistoryRows(records);
    // Its rows were those of the records shown before.
    if (plotWindow)
        plotWindow->close();
    if (serial.isEmpty()) {
        summary->clear();
        return;
    }
    QString error;
    const ArchivePeriodSummary s = archive->summarize(serial, from, to, &error);
    if (!error.isEmpty()) {
        summary->setText(withDetail(tr("Записи не прочитаны."), error));
        return;
    }
    QStringList events;
    for (const char code : {'A', 'N', 'e'})
        events << QStringLiteral("%1: %2").arg(eventText(code)).arg(s.events.value(code));
    QString text = tr("SN %1, %2 – %3: %4, из них с отметками: %5. %6.")
                       .arg(serial, dayText(fromEdit->date()), dayText(toEdit->date()),
                            russianCount(s.records, tr("запись"), tr("записи"), tr("записей")))
                       .arg(s.flagged)
                       .arg(events.join(QStringLiteral(", ")));
    if (s.records > 0)
        text += tr(" Пик МЭД %1 Зв/ч (%2). ЭД на конец периода %3 Зв.")
                    .arg(double(s.peakDoseRate), 0, 'e', 2)
                    .arg(dateTimeText(s.peakAt, model->mainZone()))
                    .arg(double(s.doseAtEnd), 0, 'e', 2);
    summary->setText(text);
}

bool ArchiveWindow::saved(bool ok, const QString &fileName, const QString &error,
                          const QString &done)
{
    const QString file = QDir::toNativeSeparators(fileName);
    report(ok ? done.arg(file) : tr("Файл не сохранён: %1 — %2.").arg(file, error));
    return ok;
}

bool ArchiveWindow::refusePeriod(const QString &what)
{
    QString why;
    if (model->serialNumber().isEmpty())
        why = tr("выберите прибор");
    else if (!model->lastError().isEmpty())
        why = tr("записи не прочитаны");
    else if (model->rowCount() == 0)
        why = tr("в периоде нет записей");
    if (why.isEmpty())
        return false;
    report(withDetail(tr("%1 не сохранён: %2.").arg(what, why), model->lastError()));
    return true;
}

QDate ArchiveWindow::periodOverdueSince() const
{
    // The period's files say so when it runs past the pager's due date.
    const QDate last = qMin(toEdit->date(), QDate::currentDate());
    return archive->calibrationStateOf(model->serialNumber(), last).overdueOn(last);
}

bool ArchiveWindow::savePeriodCsv(const QString &fileName, bool machine)
{
    // Every row read first and kept, so that the file is written from
    // memory: a read that fails (a server gone) writes no file at all.
    model->readAll(ArchiveRecordModel::Keep::All);
    if (refusePeriod(tr("Файл")))
        return false;
    QString error;
    const bool ok = machine ? saveRecords(model, RecordFormat::Csv, fileName, &error)
                            : saveHistoryCsv(model, calibrationDate(model->serialNumber()),
                                             fileName, &error, QLocale(), periodOverdueSince());
    return saved(ok, fileName, error, tr("Записи периода сохранены: %1"));
}

bool ArchiveWindow::savePeriodPdf(const QString &fileName)
{
    model->readAll(ArchiveRecordModel::Keep::All);
    if (refusePeriod(tr("Отчёт")))
        return false;
    QString error;
    const QList<ArchiveReview> reviews =
        archive->periodReviews(model->serialNumber(), fromEdit->date().startOfDay(),
                               toEdit->date().addDays(1).startOfDay(), &error);
    if (!error.isEmpty())
        return saved(false, fileName, error, QString());
    const JournalHeading heading = periodJournalHeading(
        model->serialNumber(), calibrationDate(model->serialNumber()), periodOverdueSince(),
        QStringLiteral("%1 – %2").arg(dayText(fromEdit->date()), dayText(toEdit->date())), reviews);
    const bool ok = saveJournalPdf(model, heading, fileName, &error);
    return saved(ok, fileName, error, tr("Отчёт за период сохранён: %1"));
}

void ArchiveWindow::showPlot()
{
    // Straight from the archive, not through the table's pages.
    QVector<HistoryRecord> list;
    if (!model->readRecords(&list)) {
        report(withDetail(tr("График не построен: записи не прочитаны."), model->lastError()));
        return;
    }
    if (list.isEmpty()) {
        report(tr("График не построен: в периоде нет записей."));
        return;
    }
    if (!plotWindow) {
        plotWindow = new HistoryPlotWindow(this);
        plotWindow->setWindowFlag(Qt::Window);
        connect(plotWindow, &HistoryPlotWindow::recordActivated, this, [this](int row) {
            records->selectRow(row);
            records->scrollTo(model->index(row, 0), QAbstractItemView::PositionAtCenter);
        });
    }
    plotWindow->setHistory(std::move(list), model->serialNumber(), model->mainZone());
    plotWindow->setNamePeriod(fromEdit->date(), toEdit->date());
    plotWindow->show();
    plotWindow->raise();
}

bool ArchiveWindow::saveSettingsLogCsv(const QString &serial, const QString &fileName)
{
    QStandardItemModel log;
    fillSettingsLogModel(&log, archive->settingsLog(serial));
    QString error;
    return saved(::saveSettingsLogCsv(&log, fileName, &error), fileName, error,
                 tr("Журнал настроек сохранён: %1"));
}

bool ArchiveWindow::saveSettingsLogPdf(const QString &serial, const QString &fileName)
{
    QStandardItemModel log;
    fillSettingsLogModel(&log, archive->settingsLog(serial));
    JournalHeading heading;
    heading.title = tr("ЖУРНАЛ НАСТРОЕК");
    heading.serialNumber = serial;
    heading.lines << tr("Серийный номер: %1").arg(serial);
    QString error;
    return saved(saveJournalPdf(&log, heading, fileName, &error), fileName, error,
                 tr("Журнал настроек сохранён: %1"));
}

void ArchiveWindow::showClockOffsets()
{
    const QString serial = chosenSerial();
    if (serial.isEmpty()) {
        report(tr("Выберите прибор."));
        return;
    }
    QString error;
    const QList<ClockOffset> offsets = archive->clockOffsets(serial, &error);
    if (!error.isEmpty()) {
        report(withDetail(tr("Часы прибора не прочитаны из архива."), error));
        return;
    }
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("dlgClockOffsets"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Часы прибора %1").arg(serial));
    static const QHash<QString, QString> kinds{{QStringLiteral("read"), tr("чтение параметров")},
                                               {QStringLiteral("download"), tr("чтение истории")},
                                               {QStringLiteral("change"), tr("изменение")}};
    auto *table = new QTableWidget(offsets.size(), 3, dialog);
    table->setObjectName(QStringLiteral("tableClockOffsets"));
    table->setHorizontalHeaderLabels({tr("Время (ПК)"), tr("Прибор − ПК, с"), tr("Обращение")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    // The latest first.
    for (int i = 0; i < offsets.size(); ++i) {
        const ClockOffset &o = offsets.at(offsets.size() - 1 - i);
        table->setItem(i, 0, new QTableWidgetItem(shortDateTime(o.at)));
        table->setItem(i, 1, new QTableWidgetItem(QString::number(o.seconds)));
        table->setItem(
            i, 2,
            new QTableWidgetItem(o.clockSet ? tr("часы поставлены") : kinds.value(o.kind, o.kind)));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    const QVariant drift = clockDrift(offsets);
    auto *line = new QLabel(
        offsets.isEmpty() ? tr("Расхождение часов этого прибора ещё не записывалось.")
        : drift.isNull()
            ? tr("Уход часов: мало данных (нужны два обращения с промежутком от часа после "
                 "последней установки часов).")
            : tr("Уход часов: %1 с в сутки (по обращениям после последней установки часов).")
                  .arg(QLocale().toString(drift.toDouble(), 'f', 1)),
        dialog);
    line->setObjectName(QStringLiteral("lblClockDrift"));
    line->setWordWrap(true);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(line);
    layout->addWidget(table);
    dialog->resize(560, 360);
    dialog->show();
}

void ArchiveWindow::showSettingsLog()
{
    const QString serial = chosenSerial();
    if (serial.isEmpty()) {
        report(tr("Выберите прибор."));
        return;
    }
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("dlgSettingsLog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Журнал настроек %1").arg(serial));
    auto *log = new QStandardItemModel(dialog);
    fillSettingsLogModel(log, archive->settingsLog(serial));
    auto *view = new QTableView(dialog);
    view->setObjectName(QStringLiteral("tableSettingsLog"));
    view->setModel(log);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    // Every column as wide as its widest text or header, the last one taking
    // what is left; the dialog wide enough to show them all (within the
    // screen), so no time of day or setting's name is cut.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->hide();
    // The dialog is of one pager (its title names it); the files keep the column.
    view->hideColumn(settingsLogSerialColumn);
    QPushButton *csv = button(tr("Сохранить CSV…"), "btnLogCsv", dialog);
    QPushButton *pdf = button(tr("Сохранить PDF…"), "btnLogPdf", dialog);
    // The dialog's own pager, whichever the window has chosen since.
    connect(csv, &QPushButton::clicked, dialog, [this, dialog, serial]() {
        const QString name = askSaveFileName(
            dialog, tr("Сохранить журнал настроек"), tr("Таблица CSV (*.csv);;Все файлы (*)"),
            suggestedFileName(SavedFile::SettingsLogCsv, serial, QDate::currentDate()),
            savedFileSuffix(SavedFile::SettingsLogCsv));
        if (!name.isEmpty())
            saveSettingsLogCsv(serial, name);
    });
    connect(pdf, &QPushButton::clicked, dialog, [this, dialog, serial]() {
        const QString name = askSaveFileName(
            dialog, tr("Сохранить журнал настроек"), tr("Документ PDF (*.pdf)"),
            suggestedFileName(SavedFile::SettingsLogPdf, serial, QDate::currentDate()),
            savedFileSuffix(SavedFile::SettingsLogPdf));
        if (!name.isEmpty())
            saveSettingsLogPdf(serial, name);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(csv);
    buttons->addWidget(pdf);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    layout->addLayout(buttons);
    const QAbstractItemView *cells = view;
    const QHeaderView *header = view->horizontalHeader();
    int width = 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int c = 0; c < log->columnCount(); ++c)
        if (!view->isColumnHidden(c))
            width += qMax(header->sectionSizeHint(c), cells->sizeHintForColumn(c));
    // The stretched last column is never narrower than a default one.
    const int last = log->columnCount() - 1;
    width += qMax(0, header->defaultSectionSize() -
                         qMax(header->sectionSizeHint(last), cells->sizeHintForColumn(last)));
    const QMargins margins = layout->contentsMargins();
    width += margins.left() + margins.right();
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    dialog->resize(screen.isValid() ? qMin(width, screen.width()) : width, 450);
    dialog->show();
}

WearersWindow *ArchiveWindow::showWearers()
{
    // Wearers are this PC's events (the server gets them by a sync), so the
    // window writes to this PC's archive whichever source is shown.
    if (!wearersWindow)
        wearersWindow = new WearersWindow(localArchive, this);
    else
        wearersWindow->reload();
    wearersWindow->show();
    wearersWindow->raise();
    wearersWindow->activateWindow();
    return wearersWindow;
}
