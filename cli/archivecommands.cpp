#include "archivecommands.h"

#include "archivelocation.h"
#include "archiverecordmodel.h"
#include "archiveserver.h"
#include "commandgroup.h"
#include "csvexport.h"
#include "dosereport.h"
#include "exitcodes.h"
#include "historyplot.h"
#include "pdfjournal.h"
#include "recordexport.h"
#include "reviewcommands.h"
#include "serialnumber.h"
#include "settingslog.h"
#include "terminaltext.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardItemModel>

#include <functional>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString dateFormat = QStringLiteral("yyyy-MM-dd");

struct Context
{
    Archive &archive; // this PC's archive, or the server's with --source server
    // Opens the archive when it is not open yet (import opens it only once
    // a dump is good, so that a refused import makes no file); false, told
    // on err, when it cannot be.
    std::function<bool()> open;
    const ArchiveServer &server;
    const QCommandLineParser &parser;
    QStringList args; // after the command's name
    QTextStream &out;
    QTextStream &err;

    int fail(int code, const QString &message) const
    {
        err << "dr7326g-cli: " << message << "\n";
        if (code == ExitUsage)
            err << "Try 'dr7326g-cli archive --help'.\n";
        err.flush();
        return code;
    }
};

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(timeFormat) : QStringLiteral("-");
}

// Options of the group's commands, by name.
QCommandLineOption option(const QString &name)
{
    static const QHash<QString, QCommandLineOption> options{
        {QStringLiteral("from"),
         QCommandLineOption(QStringLiteral("from"), QStringLiteral("first day of the period"),
                            QStringLiteral("yyyy-MM-dd"))},
        {QStringLiteral("to"),
         QCommandLineOption(QStringLiteral("to"), QStringLiteral("last day of the period"),
                            QStringLiteral("yyyy-MM-dd"))},
        {QStringLiteral("csv"),
         QCommandLineOption(QStringLiteral("csv"), QStringLiteral("write a CSV file"),
                            QStringLiteral("FILE"))},
        {QStringLiteral("format"),
         QCommandLineOption(QStringLiteral("format"),
                            QStringLiteral("records: the CSV file as the table shows it (table, "
                                           "the default) or for programs (machine)"),
                            QStringLiteral("table|machine"), QStringLiteral("table"))},
        {QStringLiteral("jsonl"),
         QCommandLineOption(QStringLiteral("jsonl"),
                            QStringLiteral("records: write the records as JSON Lines"),
                            QStringLiteral("FILE"))},
        {QStringLiteral("pdf"),
         QCommandLineOption(QStringLiteral("pdf"), QStringLiteral("write the PDF journal"),
                            QStringLiteral("FILE"))},
        {QStringLiteral("png"),
         QCommandLineOption(QStringLiteral("png"), QStringLiteral("write the plot as PNG"),
                            QStringLiteral("FILE"))},
        {QStringLiteral("calibration-date"),
         QCommandLineOption(QStringLiteral("calibration-date"),
                            QStringLiteral("calibration date for the CSV file and the journal"),
                            QStringLiteral("yyyy-MM-dd"), QStringLiteral("2020-11-27"))},
        {QStringLiteral("wearer"),
         QCommandLineOption(QStringLiteral("wearer"),
                            QStringLiteral("dose: the wearer's personnel number"),
                            QStringLiteral("ID"))},
        {QStringLiteral("roles"),
         QCommandLineOption(QStringLiteral("roles"),
                            QStringLiteral("server-setup: also the lab's roles and their rights"))},
        {QStringLiteral("serial"),
         QCommandLineOption(QStringLiteral("serial"),
                            QStringLiteral("import: the pager of dumps that name none (old "
                                           "dumps whose replies cannot be read)"),
                            QStringLiteral("SN"))},
        {QStringLiteral("days"),
         QCommandLineOption(QStringLiteral("days"),
                            QStringLiteral("unread: the days within which a pager should have "
                                           "been read"),
                            QStringLiteral("N"))},
    };
    return options.value(name, QCommandLineOption(name));
}

// Says on stderr that an archive of an earlier version is being upgraded.
void noticeUpgrade(Archive &archive, QTextStream &err)
{
    archive.setUpgradeNotice([&err](int from, int to) {
        err << "dr7326g-cli: upgrading the archive from version " << from << " to " << to
            << " (once; about ten seconds a million records)\n";
        err.flush();
    });
}

int listPagers(Context &c)
{
    QString error;
    const QList<ArchivePager> pagers = c.archive.pagers(&error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << "serial\trecords\tfirst-record\tlast-record\tlast-download\talarms\n";
    for (const ArchivePager &p : pagers)
        c.out << shownRow({p.serialNumber, QString::number(p.records), timeText(p.firstRecord),
                           timeText(p.lastRecord), timeText(p.lastDownload),
                           QString::number(p.alarms)})
              << "\n";
    return ExitOk;
}

// Whether the archive knows the pager; false with *error set when the
// archive could not say (a server that did not answer).
bool knownPager(Context &c, const QString &serial, QString *error)
{
    return c.archive.hasPager(serial, error);
}

// The days of --from and --to (invalid when not given; `needed`: both must
// be) and --calibration-date; false, told, when one is not yyyy-MM-dd.
struct Period
{
    QDate from, to, calibration;
    // The instants of [from, to + 1 day); the whole archive without days.
    QDateTime start() const
    {
        return from.isValid() ? from.startOfDay() : QDateTime::fromSecsSinceEpoch(0);
    }
    QDateTime end() const
    {
        return to.isValid() ? to.addDays(1).startOfDay()
                            : QDateTime::fromSecsSinceEpoch(qint64(1) << 33);
    }
};

bool readPeriod(Context &c, Period *period, bool needed, int *code)
{
    for (auto [name, day] : {std::pair(QStringLiteral("from"), &period->from),
                             std::pair(QStringLiteral("to"), &period->to)}) {
        if (!c.parser.isSet(name) && !needed)
            continue;
        *day = QDate::fromString(c.parser.value(name), dateFormat);
        if (!day->isValid()) {
            *code = c.fail(
                ExitUsage,
                c.parser.isSet(name)
                    ? QStringLiteral("--%1 is not yyyy-MM-dd: %2").arg(name, c.parser.value(name))
                    : QStringLiteral("--%1 is needed").arg(name));
            return false;
        }
    }
    period->calibration =
        QDate::fromString(c.parser.value(QStringLiteral("calibration-date")), dateFormat);
    if (!period->calibration.isValid()) {
        *code = c.fail(ExitUsage, QStringLiteral("calibration date is not yyyy-MM-dd"));
        return false;
    }
    return true;
}

// A pager's CSV file, journal and records for programs of the period from
// the model read whole: what `archive records` and `archive package` write.
// An empty name: not that file.
int writePeriodFiles(Context &c, ArchiveRecordModel &model, const Period &period,
                     const QString &csv, const QString &pdf, const QString &jsonl = QString(),
                     bool machineCsv = false)
{
    int code = ExitOk;
    QString error;
    if (!csv.isEmpty() && !(machineCsv ? saveRecords(&model, RecordFormat::Csv, csv, &error)
                                       : saveHistoryCsv(&model, period.calibration, csv, &error)))
        code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(csv, error));
    if (!jsonl.isEmpty() && !saveRecords(&model, RecordFormat::JsonLines, jsonl, &error))
        code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(jsonl, error));
    if (!pdf.isEmpty()) {
        const auto day = [](const QDate &d) {
            return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("…");
        };
        const QList<ArchiveReview> reviews =
            c.archive.periodReviews(model.serialNumber(), period.start(), period.end(), &error);
        if (!error.isEmpty() ||
            !saveJournalPdf(&model,
                            periodJournalHeading(
                                model.serialNumber(), period.calibration, QDate(),
                                QStringLiteral("%1 – %2").arg(day(period.from), day(period.to)),
                                reviews),
                            pdf, &error))
            code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(pdf, error));
    }
    // A read that failed while the files were written (a server gone).
    if (code == ExitOk && !model.lastError().isEmpty())
        code = c.fail(ExitFailure, model.lastError());
    return code;
}

int showRecords(Context &c)
{
    const QString serial = c.args.first();
    Period period;
    int code = ExitOk;
    if (!readPeriod(c, &period, false, &code))
        return code;
    bool machineCsv = false;
    if (!parseCsvFormat(c.parser.value(QStringLiteral("format")), &machineCsv))
        return c.fail(ExitUsage, QStringLiteral("--format is table or machine: %1")
                                     .arg(c.parser.value(QStringLiteral("format"))));
    if (c.parser.isSet(QStringLiteral("format")) && !c.parser.isSet(QStringLiteral("csv")))
        return c.fail(ExitUsage,
                      QStringLiteral("--format is the form of the --csv file: give --csv FILE"));
    const QString png = c.parser.value(QStringLiteral("png"));
    if (!png.isEmpty() && !png.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return c.fail(ExitUsage, QStringLiteral("--png FILE must end in .png"));
    QString error;
    if (!knownPager(c, serial, &error))
        return c.fail(ExitFailure, !error.isEmpty()
                                       ? error
                                       : QStringLiteral("no pager %1 in the archive").arg(serial));

    ArchiveRecordModel model(&c.archive);
    model.setPageRows(10000);
    model.setPeriod(serial, period.start(), period.end());
    // Read through once first: a read error prints no row.
    if (!model.readAll(ArchiveRecordModel::Keep::All))
        return c.fail(ExitFailure, model.lastError());
    printTableRows(model, c.out);
    if (!model.lastError().isEmpty())
        return c.fail(ExitFailure, model.lastError());
    const QString csv = c.parser.value(QStringLiteral("csv"));
    const QString jsonl = c.parser.value(QStringLiteral("jsonl"));
    const QString pdf = c.parser.value(QStringLiteral("pdf"));
    if (model.rowCount() == 0) {
        if (csv.isEmpty() && jsonl.isEmpty() && pdf.isEmpty() && png.isEmpty())
            return ExitOk;
        return c.fail(ExitFailure, QStringLiteral("no record in the period: no file written"));
    }
    code = writePeriodFiles(c, model, period, csv, pdf, jsonl, machineCsv);
    if (!png.isEmpty()) {
        QVector<HistoryRecord> records;
        if (!model.readRecords(&records))
            code = c.fail(ExitFailure,
                          QStringLiteral("%1 not written: %2").arg(png, model.lastError()));
        else if (!renderHistoryPlot(std::move(records), serial, model.mainZone(), png, &error))
            code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(png, error));
    }
    return code;
}

int showDose(Context &c)
{
    QDate fromDay, toDay;
    for (auto [name, day] :
         {std::pair(QStringLiteral("from"), &fromDay), std::pair(QStringLiteral("to"), &toDay)}) {
        *day = QDate::fromString(c.parser.value(name), dateFormat);
        if (!day->isValid())
            return c.fail(ExitUsage, QStringLiteral("dose needs --%1 yyyy-MM-dd").arg(name));
    }
    const QString wearer = c.parser.value(QStringLiteral("wearer"));
    if (wearer.isEmpty())
        return c.fail(ExitUsage, QStringLiteral("dose needs --wearer ID"));
    ArchiveWearerDose dose;
    QString error;
    if (!c.archive.wearerDose(wearer, fromDay.startOfDay(), toDay.addDays(1).startOfDay(), &dose,
                              &error))
        return c.fail(ExitFailure, error);
    const auto number = [](qint64 n) { return QString::number(n); };
    c.out << "kind\tserial\tfrom\tto\trecords\tflagged\tdose-Sv\n";
    qint64 records = 0, flagged = 0;
    for (const ArchiveDosePart &p : dose.parts) {
        c.out << shownRow({QStringLiteral("worn"), p.serialNumber, timeText(p.from), timeText(p.to),
                           number(p.records), number(p.flagged), doseText(p.dose)})
              << "\n";
        for (const ArchiveDoseFall &f : p.falls)
            c.out << shownRow({QStringLiteral("fall"), p.serialNumber, timeText(f.at), QString(),
                               QString(), QString(),
                               doseText(f.before) + QStringLiteral("->") + doseText(f.after)})
                  << "\n";
        if (!p.overlapWearer.isEmpty())
            c.err << "dr7326g-cli: " << shownText(p.serialNumber)
                  << ": this assignment overlaps one to " << shownText(p.overlapWearer)
                  << " made on " << shownText(p.overlapPc)
                  << ": the dose of the time they share is counted for both wearers\n";
        records += p.records;
        flagged += p.flagged;
    }
    for (const ArchiveUnassigned &u : dose.unassigned)
        c.out << shownRow({QStringLiteral("unassigned"), u.serialNumber, timeText(u.from),
                           timeText(u.to), number(u.records), QString(), QString()})
              << "\n";
    c.out << shownRow({QStringLiteral("total"), QString(), timeText(dose.from), timeText(dose.to),
                       number(records), number(flagged), doseText(dose.total)})
          << "\n";
    int code = ExitOk;
    const QString csv = c.parser.value(QStringLiteral("csv"));
    const QString pdf = c.parser.value(QStringLiteral("pdf"));
    if (!csv.isEmpty() && !saveDoseCsv(dose, csv, &error))
        code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(csv, error));
    if (!pdf.isEmpty()) {
        QStandardItemModel table;
        fillDoseTable(&table, dose);
        if (!saveJournalPdf(&table, doseJournalHeading(dose), pdf, &error))
            code = c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(pdf, error));
    }
    return code;
}

int importDumps(Context &c)
{
    const QString given = c.parser.value(QStringLiteral("serial"));
    if (c.parser.isSet(QStringLiteral("serial")) && !isSerialNumber(given))
        return c.fail(
            ExitUsage,
            QStringLiteral("--serial wants a serial number: %1").arg(serialNumberProblem(given)));
    int code = ExitOk;
    for (const QString &name : c.args) {
        QFile file(name);
        HistoryDump dump;
        QString error;
        if (!file.open(QIODevice::ReadOnly)) {
            code = c.fail(ExitFailure, QStringLiteral("cannot read %1").arg(name));
            continue;
        }
        if (!readHistoryDump(file.readAll(), &dump, &error)) {
            code = c.fail(ExitFailure, QStringLiteral("%1 not imported: %2").arg(name, error));
            continue;
        }
        if (!dump.headerSerialNumber.isEmpty())
            c.err << "dr7326g-cli: " << dumpSerialNote(name, dump) << "\n";
        if (dump.serialNumber.isEmpty()) {
            if (given.isEmpty()) {
                code = c.fail(ExitFailure,
                              QStringLiteral("%1 not imported: it names no pager (no serial "
                                             "number in its header or replies); give --serial SN")
                                  .arg(name));
                continue;
            }
            dump.serialNumber = given;
        } else if (!given.isEmpty() && given != dump.serialNumber) {
            code = c.fail(ExitFailure,
                          QStringLiteral("%1 not imported: it names pager %2, not %3 (--serial)")
                              .arg(name, dump.serialNumber, given));
            continue;
        }
        if (!c.open())
            return ExitFailure;
        const ArchiveStoreResult stored = c.archive.importDump(dump);
        if (!stored.ok) {
            code =
                c.fail(ExitFailure, QStringLiteral("%1 not imported: %2").arg(name, stored.error));
            continue;
        }
        if (stored.alreadyStored)
            c.out << name << ": already in the archive as download " << stored.downloadId << "\n";
        else
            c.out << name << ": download " << stored.downloadId << ", " << stored.records
                  << " records, " << stored.newRecords << " new\n";
    }
    return code;
}

int showLog(Context &c)
{
    const QString serial = c.args.value(0);
    QString error;
    const QList<SettingsLogEntry> log = c.archive.settingsLog(serial, &error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << "time\tuser\tpc\tserial\tsetting\tbefore\tvalue\toutcome\n";
    for (const SettingsLogEntry &e : log)
        c.out << shownRow({timeText(e.at), e.osUser, e.pc, e.serialNumber, e.setting, e.valueBefore,
                           e.value, e.outcome})
              << "\n";
    const QString csv = c.parser.value(QStringLiteral("csv"));
    if (!csv.isEmpty()) {
        QStandardItemModel model;
        fillSettingsLogModel(&model, log);
        if (!saveSettingsLogCsv(&model, csv, &error))
            return c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(csv, error));
    }
    return ExitOk;
}

int listUnread(Context &c)
{
    bool ok = false;
    const int days = c.parser.value(QStringLiteral("days")).toInt(&ok);
    if (!ok || days < 0)
        return c.fail(ExitUsage, QStringLiteral("unread wants --days N, a whole number of days: %1")
                                     .arg(c.parser.value(QStringLiteral("days"))));
    QString error;
    const QList<ArchivePager> pagers = c.archive.pagers(&error);
    const QHash<QString, QDateTime> lastRead =
        error.isEmpty() ? c.archive.lastReadTimes(&error) : QHash<QString, QDateTime>();
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    // A pager never read (only imported, calibrated or given out) is listed too.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime since = now.addDays(-days);
    bool any = false;
    c.out << "serial\tlast-contact\tdays-since\n";
    for (const ArchivePager &p : pagers) {
        const QDateTime at = lastRead.value(p.serialNumber);
        if (at.isValid() && at >= since)
            continue;
        c.out << shownRow({p.serialNumber, at.isValid() ? timeText(at) : QString(),
                           at.isValid() ? QString::number(at.secsTo(now) / 86400) : QString()})
              << "\n";
        any = true;
    }
    return any ? ExitAttention : ExitOk;
}

int listDownloads(Context &c)
{
    QString error;
    const QList<ArchiveDownload> list = c.archive.downloads(c.args.first(), &error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    // A pager known only by its parameter reads has no download: an empty list.
    if (list.isEmpty() && !knownPager(c, c.args.first(), &error))
        return c.fail(ExitFailure,
                      !error.isEmpty()
                          ? error
                          : QStringLiteral("no pager %1 in the archive").arg(c.args.first()));
    c.out << "id\torigin\tdownloaded\tzone\toutcome\tpages\trecords\tnew\tdump-bytes\tpc\t"
             "overdue-since\tclock-offset\n";
    for (const ArchiveDownload &d : list)
        c.out << shownRow({QString::number(d.id), d.origin, timeText(d.downloadedAt),
                           QString::fromUtf8(d.zone), d.outcome, QString::number(d.pages),
                           QString::number(d.records), QString::number(d.newRecords),
                           QString::number(d.dumpSize), d.pc, d.overdueSince.toString(dateFormat),
                           d.clockOffset.isNull() ? QString() : d.clockOffset.toString()})
              << "\n";
    return ExitOk;
}

int writeDump(Context &c)
{
    bool isNumber = false;
    const qint64 id = c.args.at(0).toLongLong(&isNumber);
    if (!isNumber)
        return c.fail(ExitUsage, QStringLiteral("not a download number: %1").arg(c.args.at(0)));
    HistoryDump dump;
    QString error;
    if (!c.archive.downloadDump(id, &dump, &error))
        return c.fail(ExitFailure, error);
    if (!saveHistoryDump(dump, c.args.at(1), &error))
        return c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(c.args.at(1), error));
    c.out << c.args.at(1) << ": download " << id << ", " << dump.pages.size() << " pages\n";
    return ExitOk;
}

int syncArchive(Context &c)
{
    if (!c.server.isSet())
        return c.fail(ExitUsage, QStringLiteral("no lab server: give --server URI or set "
                                                "DR7326G_SERVER"));
    const ArchiveSyncResult result = synchronizeArchive(c.archive, c.server);
    c.err << syncProblemsText(result, false);
    c.err.flush();
    if (!result.ok)
        return result.noRights ? ExitNoRights : ExitFailure;
    if (result.nothingNew())
        c.out << c.server.uri() << ": nothing new\n";
    else
        c.out << c.server.uri() << ": " << result.downloads << " new downloads, " << result.records
              << " new records, " << result.reads << " new parameter reads, " << result.changes
              << " new setting changes, " << result.calibrations << " new calibrations, "
              << result.wearerEvents << " new wearer events, " << result.signatures
              << " new signatures\n";
    return syncFailed(result, false) ? ExitFailure : ExitOk;
}

int setUpServer(Context &c)
{
    // Opening the server made its tables (or upgraded them).
    c.out << c.server.uri() << ": archive version " << Archive::schemaVersion << "\n";
    if (!c.parser.isSet(QStringLiteral("roles")))
        return ExitOk;
    QString error;
    if (!c.archive.setUpServerRoles(&error)) {
        const QString refused = rightsRefusalText(QStringLiteral("make the roles"),
                                                  QStringLiteral("the database's owner"), error);
        return c.fail(refused.isEmpty() ? ExitFailure : ExitNoRights,
                      refused.isEmpty() ? QStringLiteral("roles not made: %1").arg(error)
                                        : refused);
    }
    c.out << c.server.uri() << ": roles " << serverrole::technicians << ", "
          << serverrole::reviewers << ", " << serverrole::auditors << "\n";
    return ExitOk;
}

int verifyTrail(Context &c)
{
    const ArchiveVerifyResult result = c.archive.verifyChains();
    if (!result.ok)
        return c.fail(ExitFailure, result.error);
    if (!result.intact) {
        c.fail(
            ExitTrailBroken,
            QStringLiteral("%1 %2 (%3) does not match the archive's chain: %4")
                    .arg(result.table)
                    .arg(result.id)
                    .arg(timeText(result.at), result.what) +
                (result.mismatches > 1
                     ? QStringLiteral(" (and %1 more that do not match)").arg(result.mismatches - 1)
                     : QString()));
        return ExitTrailBroken;
    }
    c.out << result.events << " events in " << result.chains << " chains and " << result.records
          << " records checked: each matches its chain\n";
    return ExitOk;
}

// A serial number as part of a file name.
QString fileNamePart(const QString &serial)
{
    QString name = serial;
    for (QChar &ch : name)
        if (!(ch.isLetterOrNumber() && ch.unicode() < 128) && ch != QLatin1Char('-') &&
            ch != QLatin1Char('.'))
            ch = QLatin1Char('_');
    return name;
}

// The period's files into a new folder: each pager's journal and CSV file,
// the dumps of its downloads made in the period, the events of the period
// (events.jsonl, a JSON object a line, as archivechain.h links them) and
// SHA256SUMS over them all, as sha256sum -c reads it.
int packagePeriod(Context &c)
{
    Period period;
    int code = ExitOk;
    if (!readPeriod(c, &period, true, &code))
        return code;
    const QDir dir(c.args.first());
    if (dir.exists() && !dir.isEmpty())
        return c.fail(ExitFailure, QStringLiteral("%1 is not empty: a package is written into "
                                                  "a new folder")
                                       .arg(dir.path()));
    if (!QDir().mkpath(dir.filePath(QStringLiteral("dumps"))))
        return c.fail(ExitFailure, QStringLiteral("cannot make the folder %1").arg(dir.path()));
    QStringList files;
    QString error;
    const QList<ArchivePager> pagers = c.archive.pagers(&error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    int journals = 0;
    for (const ArchivePager &pager : pagers) {
        const QString name = fileNamePart(pager.serialNumber);
        ArchiveRecordModel model(&c.archive);
        model.setPageRows(10000);
        model.setPeriod(pager.serialNumber, period.start(), period.end());
        if (!model.readAll(ArchiveRecordModel::Keep::All))
            return c.fail(ExitFailure, model.lastError());
        if (model.rowCount() > 0) {
            code = writePeriodFiles(c, model, period, dir.filePath(name + QStringLiteral(".csv")),
                                    dir.filePath(name + QStringLiteral(".pdf")));
            if (code != ExitOk)
                return code;
            files << name + QStringLiteral(".csv") << name + QStringLiteral(".pdf");
            ++journals;
        }
        const QList<ArchiveDownload> downloads = c.archive.downloads(pager.serialNumber, &error);
        if (!error.isEmpty())
            return c.fail(ExitFailure, error);
        for (const ArchiveDownload &d : downloads) {
            const QDateTime at = d.downloadedAt.isValid() ? d.downloadedAt : d.storedAt;
            if (at < period.start() || at >= period.end())
                continue;
            HistoryDump dump;
            const QString file = QStringLiteral("dumps/%1-%2.dump").arg(name).arg(d.id);
            if (!c.archive.downloadDump(d.id, &dump, &error) ||
                !saveHistoryDump(dump, dir.filePath(file), &error))
                return c.fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(file, error));
            files << file;
        }
    }
    QList<ArchiveChainEvent> events;
    if (!c.archive.chainEvents(period.start(), period.end(), &events, &error))
        return c.fail(ExitFailure, error);
    QByteArray lines;
    for (const ArchiveChainEvent &e : qAsConst(events)) {
        QJsonObject content;
        for (const auto &column : e.content)
            content.insert(column.first, QJsonValue::fromVariant(column.second));
        const QJsonObject line{{QStringLiteral("table"), e.table},
                               {QStringLiteral("id"), e.id},
                               {QStringLiteral("time"), e.at.toUTC().toString(Qt::ISODate)},
                               {QStringLiteral("chain"), e.archive},
                               {QStringLiteral("seq"), e.seq},
                               {QStringLiteral("hash"), e.hash},
                               {QStringLiteral("content"), content}};
        lines += QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    }
    const auto writeFile = [&](const QString &name, const QByteArray &bytes) {
        QSaveFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
               file.commit();
    };
    if (!writeFile(QStringLiteral("events.jsonl"), lines))
        return c.fail(ExitFailure,
                      QStringLiteral("%1 not written").arg(dir.filePath("events.jsonl")));
    files << QStringLiteral("events.jsonl");
    QByteArray sums;
    for (const QString &name : qAsConst(files)) {
        QFile file(dir.filePath(name));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            return c.fail(ExitFailure,
                          QStringLiteral("%1 cannot be read back").arg(file.fileName()));
        sums += hash.result().toHex() + "  " + name.toUtf8() + '\n';
    }
    if (!writeFile(QStringLiteral("SHA256SUMS"), sums))
        return c.fail(ExitFailure,
                      QStringLiteral("%1 not written").arg(dir.filePath("SHA256SUMS")));
    c.out << dir.path() << ": " << journals << " journals with their CSV files, "
          << files.size() - 2 * journals - 1 << " dumps, " << events.size()
          << " events; SHA256SUMS\n";
    return ExitOk;
}

struct Command
{
    const char *name;
    const char *usage;
    const char *summary;
    QStringList options;
    int minArgs;
    int maxArgs;
    int (*run)(Context &);
};

const QList<Command> &commands()
{
    static const QList<Command> table{
        {"list", "archive list", "the pagers in the archive", {}, 0, 0, &listPagers},
        {"records",
         "archive records SN [--from D] [--to D] [--csv F [--format machine]] [--jsonl F] "
         "[--pdf F] [--png F]",
         "a pager's records, one tab-separated row a line (as decode)",
         {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("csv"),
          QStringLiteral("format"), QStringLiteral("jsonl"), QStringLiteral("pdf"),
          QStringLiteral("png"), QStringLiteral("calibration-date")},
         1,
         1,
         &showRecords},
        {"dose",
         "archive dose --wearer ID --from D --to D [--csv F] [--pdf F]",
         "a wearer's dose over the days D to D: per assignment (the sum of the accumulated dose's "
         "increases; a "
         "fall starts a new sum and is listed), the total, and the pagers' unassigned records",
         {QStringLiteral("wearer"), QStringLiteral("from"), QStringLiteral("to"),
          QStringLiteral("csv"), QStringLiteral("pdf")},
         0,
         0,
         &showDose},
        {"import",
         "archive import [--serial SN] DUMP...",
         "store history dumps (--serial: the pager of dumps that name none)",
         {QStringLiteral("serial")},
         1,
         1 << 20,
         &importDumps},
        {"log",
         "archive log [SN] [--csv F]",
         "parameter reads and setting changes (all pagers without SN)",
         {QStringLiteral("csv")},
         0,
         1,
         &showLog},
        {"unread",
         "archive unread --days N",
         "the pagers not read (parameters or a download) within N days, or never: last contact, "
         "days since; status 7 when any",
         {QStringLiteral("days")},
         0,
         0,
         &listUnread},
        {"downloads",
         "archive downloads SN",
         "a pager's downloads and imported dumps",
         {},
         1,
         1,
         &listDownloads},
        {"dump",
         "archive dump ID FILE",
         "a stored download back as a dump file",
         {},
         2,
         2,
         &writeDump},
        {"verify",
         "archive verify",
         "recompute the chain of every event and record; name the first that does not match "
         "(status 8)",
         {},
         0,
         0,
         &verifyTrail},
        {"package",
         "archive package --from D --to D [--calibration-date D] DIR",
         "a period's journals, CSV files, dumps and events into a new folder DIR, with SHA256SUMS",
         {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("calibration-date")},
         1,
         1,
         &packagePeriod},
        {"sync",
         "archive sync",
         "send what this PC's archive holds that the lab's server lacks (--server)",
         {},
         0,
         0,
         &syncArchive},
        {"server-setup",
         "archive server-setup [--roles]",
         "make the lab server's tables (--server; done by any first use too); --roles, run once "
         "by the database's owner: the roles dr7326g_technicians (store), dr7326g_reviewers "
         "(store and sign) and dr7326g_auditors (read only) with their rights",
         {QStringLiteral("roles")},
         0,
         0,
         &setUpServer},
    };
    return table;
}

const QCommandLineOption archiveOption(QStringLiteral("archive"),
                                       QStringLiteral("the archive file (default: "
                                                      "$DR7326G_ARCHIVE, or archive.sqlite in the "
                                                      "user's data folder)"),
                                       QStringLiteral("FILE"));
const QCommandLineOption serverOption(
    QStringLiteral("server"),
    QStringLiteral("the lab's archive server, a libpq URI postgresql://user@host:5432/database "
                   "(default: $DR7326G_SERVER); the password comes from ~/.pgpass or PGPASSWORD"),
    QStringLiteral("URI"));
const QCommandLineOption sourceOption(
    QStringLiteral("source"),
    QStringLiteral("list, records, log, unread, downloads, dump, verify, package: this PC's "
                   "archive (local, the default) "
                   "or the lab's server (server)"),
    QStringLiteral("local|server"), QStringLiteral("local"));

// The tool's options that take a value in the next argument.
bool takesValue(const QString &arg)
{
    for (const char *name : {"--png", "--pdf", "--csv", "--format", "--jsonl", "--dump", "--serial",
                             "--calibration-date", "--archive", "--from", "--to", "--server",
                             "--source", "--wearer", "--days", "--policy"})
        if (arg == QLatin1String(name))
            return true;
    return false;
}

} // namespace

bool parseCsvFormat(const QString &value, bool *machine)
{
    *machine = value == QLatin1String("machine");
    return *machine || value == QLatin1String("table");
}

QString syncProblemsText(const ArchiveSyncResult &result, bool automatic)
{
    QString text;
    // Text from the archive and the server, cut to what a line can show.
    const auto shown = [](const QString &value, int most) {
        return value.size() <= most ? shownText(value)
                                    : QStringLiteral("%1... (%2 characters)")
                                          .arg(shownText(value.left(most)))
                                          .arg(value.size());
    };
    for (const ArchiveSyncRefusal &r : result.refused)
        text += QStringLiteral("dr7326g-cli: the lab server refused %1 %2 (pager %3, %4): %5; it "
                               "stays in this PC's archive only, and each sync offers it again\n")
                    .arg(r.kind)
                    .arg(r.id)
                    .arg(shown(r.serialNumber, 64), timeText(r.at), shown(r.reason, 400));
    if (result.ok)
        return text;
    const QString error = shown(result.error, 600);
    if (result.noRights)
        text += QStringLiteral("dr7326g-cli: the lab server refused for lack of rights: %1; the "
                               "database's owner gives this user the role %2 (see the README)\n")
                    .arg(error, result.roleNeeded);
    else if (result.needsPassword)
        text += QStringLiteral("dr7326g-cli: %1 (put it in ~/.pgpass or PGPASSWORD); nothing was "
                               "sent%2\n")
                    .arg(error, automatic ? QStringLiteral(": it is kept in this PC's archive")
                                          : QString());
    else if (!result.connected)
        text += automatic ? QStringLiteral("dr7326g-cli: kept in this PC's archive only, not sent "
                                           "to the lab server now: %1; the next sync sends it\n")
                                .arg(error)
                          : QStringLiteral("dr7326g-cli: %1; nothing was sent\n").arg(error);
    else if (result.stalled)
        text += QStringLiteral("dr7326g-cli: %1; the sync stopped there: what the server took is "
                               "noted on this PC, the rest is kept in this PC's archive and the "
                               "next sync sends it\n")
                    .arg(error);
    else
        text += QStringLiteral("dr7326g-cli: the sync to the lab server stopped: %1; what the "
                               "server took is noted on this PC, the rest is kept in this PC's "
                               "archive and the next sync tries it again\n")
                    .arg(error);
    return text;
}

bool syncFailed(const ArchiveSyncResult &result, bool automatic)
{
    if (automatic && !result.ok && !result.connected)
        return false;
    return !result.complete();
}

bool isArchiveCommand(int argc, char **argv)
{
    return commandLineNames(argc, argv, "archive", &takesValue);
}

QString archiveCommandsHelp()
{
    return subcommandsHelp(commands());
}

int runArchiveGroup(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QStringList words = commandWords(arguments, &takesValue);
    const QString name = words.value(1);
    const Command *command = findSubcommand(commands(), name);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The archive of downloads and settings.\n\n") +
                                     archiveCommandsHelp());
    parser.addOptions({archiveOption, serverOption, sourceOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (command)
        for (const QString &o : command->options)
            parser.addOption(option(o));
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("the group"));
    if (!parser.parse(arguments)) {
        err << "dr7326g-cli: " << parser.errorText() << "\nTry 'dr7326g-cli archive --help'.\n";
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return ExitOk;
    }
    if (!command) {
        err << "dr7326g-cli: "
            << (name.isEmpty() ? QStringLiteral("archive needs a command")
                               : QStringLiteral("unknown archive command: %1").arg(name))
            << "\nTry 'dr7326g-cli archive --help'.\n";
        return ExitUsage;
    }
    const QStringList args = parser.positionalArguments().mid(2);
    if (args.size() < command->minArgs || args.size() > command->maxArgs) {
        err << "dr7326g-cli: usage: dr7326g-cli " << command->usage << "\n";
        return ExitUsage;
    }
    ArchiveServer server;
    QString error;
    if (parser.isSet(serverOption)
            ? !ArchiveServer::parse(parser.value(serverOption), &server, &error)
            : !ArchiveServer::fromEnvironment(&server, &error)) {
        err << "dr7326g-cli: " << error << "\n";
        return ExitUsage;
    }
    const QString source = parser.value(sourceOption);
    const bool fromServer =
        source == QLatin1String("server") || name == QLatin1String("server-setup");
    if (!fromServer && source != QLatin1String("local")) {
        err << "dr7326g-cli: --source is local or server, not " << source << "\n";
        return ExitUsage;
    }
    if (fromServer && (name == QLatin1String("import") || name == QLatin1String("sync"))) {
        err << "dr7326g-cli: " << name
            << " works on this PC's archive; the server is filled by 'archive sync'\n";
        return ExitUsage;
    }
    if (fromServer && !server.isSet()) {
        err << "dr7326g-cli: no lab server: give --server URI or set DR7326G_SERVER\n";
        return ExitUsage;
    }
    Archive archive;
    const QString fileName = fromServer                    ? QString()
                             : parser.isSet(archiveOption) ? parser.value(archiveOption)
                                                           : defaultArchiveFile(err);
    const bool existed = !fromServer && QFileInfo::exists(fileName);
    // Only import and sync write; the others read an archive that cannot be
    // written, too.
    const bool writes = name == QLatin1String("import") || name == QLatin1String("sync");
    const auto open = [&]() {
        QString why;
        if (archive.isOpen())
            return true;
        noticeUpgrade(archive, err);
        if (fromServer ? archive.openServer(server, &why)
                       : archive.open(fileName,
                                      writes ? Archive::OpenMode::Store : Archive::OpenMode::Browse,
                                      &why)) {
            // An import is checked row by row before it writes.
            archive.checkRowsBeforeWrite(name == QLatin1String("import"));
            return true;
        }
        err << "dr7326g-cli: " << why << "\n";
        return false;
    };
    // Browsing makes no archive where there was none.
    if (!fromServer && !existed && name != QLatin1String("import")) {
        err << "dr7326g-cli: no archive " << fileName << "\n";
        return ExitFailure;
    }
    if (name != QLatin1String("import") && !open())
        return ExitFailure;
    Context context{archive, open, server, parser, args, out, err};
    const int code = command->run(context);
    // An import that stored nothing leaves no archive where there was none.
    if (!fromServer && !existed && archive.isOpen() && archive.pagers().isEmpty()) {
        archive.close();
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(fileName + QLatin1String(suffix));
    }
    out.flush();
    err.flush();
    return code;
}

int runArchiveCommand(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runArchiveGroup(QCoreApplication::arguments(), out, err);
}

QString dumpSerialNote(const QString &fileName, const HistoryDump &dump)
{
    return QStringLiteral("%1: its header names pager %2, its replies %3: taken as %3's")
        .arg(fileName, shownText(dump.headerSerialNumber), dump.serialNumber);
}

QString defaultArchiveFile(QTextStream &err)
{
    static bool moved = false;
    if (!moved) {
        moved = true;
        // The window's settings are the window's to move.
        const QString done = moveEarlierFiles(false, [&err](const EarlierFiles &merging) {
                                 err << "dr7326g-cli: merging the archive of an earlier "
                                        "version, "
                                     << merging.earlierArchive << ", into "
                                     << merging.currentArchive << " (once)...\n";
                                 err.flush();
                             }).describe();
        if (!done.isEmpty()) {
            err << "dr7326g-cli: " << done << "\n";
            err.flush();
        }
    }
    return Archive::defaultFileName();
}

bool openArchiveForPagerCommand(Archive &archive, const QString &fileName, QTextStream &err)
{
    QString error;
    noticeUpgrade(archive, err);
    if (archive.open(fileName.isEmpty() ? defaultArchiveFile(err) : fileName, &error))
        return true;
    err << "dr7326g-cli: going on without the archive, so what this command reads or sends is "
           "not stored: "
        << error << "\n";
    err.flush();
    return false;
}
