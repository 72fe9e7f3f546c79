// The archive of every download, every parameter read and every setting
// change, in an SQLite file shared by the window and the command-line tool,
// or on the lab's PostgreSQL server (the same tables, the same rules; filled
// by synchronising PCs' archives to it, see archiveserver.h).
//
// Contract:
//  - open() accepts a new (empty or absent) file, which it sets up, or an
//    archive of this program, which it upgrades in place when it is older.
//    A file that is not an SQLite database, a database of another program,
//    or an archive made by a newer version is refused with a reason and left
//    untouched; so is a file that cannot be opened or created. The caller
//    then goes on without an archive (isOpen() false, every store refused).
//  - "Damaged" is said only of what SQLite finds damaged. A file that cannot
//    be written for another reason (its folder or itself read-only, no space
//    left, the file-size limit) is refused for storing with that reason
//    (NotWritable, NoSpace), and opened read-only for browsing (Browse), so
//    that a good archive is never called damaged and can still be read.
//  - Before the first write of an opened file, SQLite's quick check reads
//    it whole; a file that fails is damaged: the write, and every later one,
//    is refused and the file left as it is.
//  - A file the archive creates is the user's alone (0600; its -wal and -shm
//    files take the same mode), and so is a folder it makes for it (0700),
//    whatever the umask; an archive of the user's opened for storing that
//    others could read (made by an earlier version) is made so, too.
//  - One entry point per event: storeHistory (a download finished, or a dump
//    opened whose outcome the caller has decoded), importDump (a dump
//    imported), storeParameterRead, storeSettingChange, storeCalibration,
//    the wearers' events, signDownload (review.h). Each is one
//    transaction: a killed program leaves the archive as before the event or
//    with the whole event. Two programs may write at once: the second waits
//    for the first (up to busyTimeoutMs).
//  - A record is its serial number and its 16 stored bytes. Where one
//    download holds the same bytes k times the archive keeps them k times;
//    across downloads the larger count wins. A record keeps the instant it
//    was first decoded at, in the zone of that download.
//  - Every store refuses, untouched, a serial number that is none
//    (serialnumber.h: empty, longer than 64 bytes, a control character).
//  - The settings log is only ever appended to.
//  - Values are always bound, never written into SQL text.
#pragma once

#include "archivechain.h"
#include "calibration.h"
#include "historydump.h"
#include "historyrecord.h"
#include "review.h"
#include "settingnames.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QTimeZone>
#include <QVariant>
#include <QVector>

#include <functional>

struct ArchiveServer;
struct ArchiveSyncResult;

// How a download ended.
enum class ArchiveOutcome { Complete, Incomplete, Stopped };
QString archiveOutcomeName(ArchiveOutcome outcome); // "complete", "incomplete", "stopped"

// What came of a change sent to the pager.
enum class SettingOutcome { Stored, Refused, NotConfirmed, NoAnswer };
QString settingOutcomeName(SettingOutcome outcome); // "stored", "refused", ...

struct ArchiveStoreResult
{
    bool ok = false;
    QString error;              // why not, when !ok
    qint64 downloadId = 0;      // the download's row (an earlier one when already stored)
    int records = 0;            // records the download held
    int newRecords = 0;         // of those, not in the archive before
    bool alreadyStored = false; // the very same dump was stored before: nothing added
};

struct ArchivePager
{
    QString serialNumber;
    qint64 records = 0;
    QDateTime firstRecord, lastRecord; // invalid without records
    QDateTime lastDownload;            // invalid when never downloaded
    qint64 alarms = 0;
};

struct ArchiveDownload
{
    qint64 id = 0;
    QString origin;         // "download" or "dump"
    QDateTime downloadedAt; // invalid when the dump did not say
    QByteArray zone;
    QString outcome;
    int pages = 0;
    int records = 0;
    int newRecords = 0;
    QDateTime storedAt;
    qint64 dumpSize = 0;
    QString pc; // the host name of the PC that made it
    // The pager's calibration due date when the download was made on or after
    // it; invalid when within its calibration, or none was known.
    QDate overdueSince;
    QVariant clockOffset; // pager clock minus PC clock, seconds; null when not read
    unsigned review = 0;  // why it is to be reviewed (review.h); 0: it is not
};

// One archived record with what is needed to show it.
struct ArchiveRecord
{
    HistoryRecord record;
    int copy = 1;
    qint64 downloadId = 0;
};

// What a period of a pager's records holds.
struct ArchivePeriodSummary
{
    qint64 records = 0;
    QHash<char, qint64> events; // alarms ('A', 'N') and threshold rows ('e'), by code
    float peakDoseRate = 0;     // Sv/h; 0 without records (or none above 0)
    QDateTime peakAt;
    float doseAtEnd = 0; // Sv: the dose of the period's last record
    QDateTime lastAt;
    qint64 flagged = 0; // of the records, those that look wrong (historyflags.h)
};

// ---- Who wore which pager ----
// A wearer: a person known by the lab's personnel number.
struct ArchiveWearer
{
    QString number; // the personnel number: what a wearer is named by
    QString name;
    QDateTime enteredAt;
};

// A pager given to a wearer from an instant until its return (invalid while
// worn). Assignments of one pager never overlap.
struct ArchiveAssignment
{
    QString uid; // the give's id, the same on every archive
    QString wearer;
    QString serialNumber;
    QDateTime from, to;
    QDateTime enteredAt;
    QString osUser, pc;
    // Another assignment of the pager overlapping this one (made on another
    // PC before the two met on the lab's server): its wearer and PC; empty
    // when none. Both are kept; the dose of the time they share is counted
    // for both wearers and said to be so.
    QString overlapWearer, overlapPc;
    bool worn() const { return !to.isValid(); }
};

// A fall of the dose (ЭД) inside an assignment: a reset or a new battery.
// The sum goes on from the record after it.
struct ArchiveDoseFall
{
    QDateTime at;                // the record after the fall
    float before = 0, after = 0; // Sv
};

// One assignment's part of a period: the sum of the dose's increases from
// record to record (Sv) over the records inside both.
struct ArchiveDosePart
{
    QString serialNumber;
    QDateTime from, to; // the assignment within the period
    double dose = 0;
    qint64 records = 0;
    qint64 flagged = 0;
    QList<ArchiveDoseFall> falls;
    QString overlapWearer, overlapPc; // as in ArchiveAssignment
};

// A pager's records worn by the wearer in the period that lie outside any
// assignment (of anyone): listed, never dropped or counted to anyone.
struct ArchiveUnassigned
{
    QString serialNumber;
    QDateTime from, to;
    qint64 records = 0;
};

struct ArchiveWearerDose
{
    ArchiveWearer wearer;
    QDateTime from, to;
    QList<ArchiveDosePart> parts; // by time
    double total = 0;             // Sv
    QList<ArchiveUnassigned> unassigned;
};

// Whether text can be a personnel number: 1 to 64 characters, no control
// character, not only spaces.
bool isPersonnelNumber(const QString &text);

// One row of the settings log: a value read, or a change sent.
struct SettingsLogEntry
{
    QDateTime at;
    QString osUser;
    QString pc; // the host name of the PC that read or changed; empty before it was kept
    QString serialNumber;
    QString setting;
    QString valueBefore; // changes only; empty when the archive knew none
    QString value;       // the value read, or the value sent
    QString outcome;     // "read", or a settingOutcomeName
};

// A parameter read: the settings the pager answered (name, value text).
struct ParameterRead
{
    QString serialNumber;
    QList<QPair<QString, QString>> values;
    QVariant clockOffset = QVariant(); // pager clock minus PC clock, seconds; null: not read
};

// A record as stored: its bytes, copy and instant.
struct ArchiveRecordRow
{
    QByteArray stored;
    int copy = 1;
    qint64 time = 0;
    std::uint8_t flags = 0; // historyflags.h
};
// What the records table keeps beside them: the minute count of the stored
// bytes (0 for fewer than 3), through which a record's identity is kept in
// the order records arrive, and the dose rate (NULL when it is no finite
// number, or the bytes are not a record's 16).
int archiveRecordMinute(const QByteArray &stored);
QVariant archiveRecordDoseRate(const QByteArray &stored);
// In the records' key order (time, stored bytes, copy): the order rows are
// inserted in, so that they land at the end of each tree.
void sortArchiveRecordRows(QVector<ArchiveRecordRow> &rows);

class Archive
{
public:
    static constexpr int schemaVersion = 6;
    static constexpr int busyTimeoutMs = 10000;

    Archive();
    ~Archive();
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    // The archive file: $DR7326G_ARCHIVE when set, otherwise archive.sqlite
    // in programDataFolder() (archivelocation.h), the same for the window
    // and the command-line tool.
    static QString defaultFileName();

    // Store: for storing; refused when it cannot be written. Browse: for
    // reading; opened as for storing when it can be written (an older archive
    // is then upgraded), otherwise read-only (isReadOnly(), every store
    // refused), without SQLite's shared-memory file when none can be made.
    enum class OpenMode { Store, Browse };
    bool open(const QString &fileName, QString *error)
    {
        return open(fileName, OpenMode::Store, error);
    }
    bool open(const QString &fileName, OpenMode mode, QString *error);
    // The lab's server: an empty database gets the tables; one of another
    // program or of a newer version is refused untouched, as a file is.
    bool openServer(const ArchiveServer &server, QString *error);
    // Why the last open() refused the file, or openServer() the server; for
    // a file opened read-only, why it cannot be written; Damaged also once
    // the check before the first write found damage.
    enum class Problem {
        None,
        NoDriver,
        CannotOpen,
        Damaged,
        Foreign,
        Newer,
        NotWritable,     // the file or its folder cannot be written by this user
        NoSpace,         // no space left on its disk, or the file-size limit
        Unreachable,     // the server: no connection (down, refused, wrong name)
        NeedsPassword,   // the server: it asks for a password not given
        PasswordRefused, // the server: it refused the password given
        NoRights // the server: this user may not do it (upgrade the archive: its owner does)
    };
    Problem openProblem() const { return problem; }
    // The server's (or its driver's) own words on why the last openServer()
    // failed, as libpq gave them, for a detail beside the problem; empty
    // when it said nothing.
    QString openDetail() const { return detail; }
    void close();
    bool isOpen() const { return db.isOpen(); }
    bool isServer() const { return engine == QLatin1String("postgresql"); }
    // The check before the first write reads every row against its indexes
    // too (SQLite's integrity check), not only every page (its quick check):
    // it finds damage inside a record's row, which the quick check misses,
    // at about twenty times its cost (8.6 s for a million records instead of
    // 0.4 s). For an import of dumps, where that time is small beside the
    // operator's own; set before the first write.
    void checkRowsBeforeWrite(bool rows) { checkRows = rows; }
    // Called before an archive of an earlier version is upgraded (from, to),
    // which rewrites its records once (about ten seconds a million): the
    // caller tells the user. Not called for a new archive being set up.
    void setUpgradeNotice(std::function<void(int from, int to)> notice)
    {
        upgradeNotice = std::move(notice);
    }
    // Open, but every store is refused: opened read-only (Browse), or found
    // damaged by the check before the first write.
    bool isReadOnly() const { return isOpen() && !writeRefusal.isEmpty(); }
    // The file, or the server's URI (never with a password).
    QString fileName() const { return name; }

    // ---- Events ----
    // A download finished (origin "download") or a dump was imported
    // ("dump"): the dump compressed, and the records decoded from it.
    // `clockOffset`: the pager's clock minus the PC's, in seconds (null: not
    // read). The download is marked with the pager's calibration due date
    // when it was made on or after it.
    ArchiveStoreResult storeHistory(const HistoryDump &dump, ArchiveOutcome outcome,
                                    const QString &origin,
                                    const QVariant &clockOffset = QVariant());
    // A dump imported: complete when it decodes to the end record.
    ArchiveStoreResult importDump(const HistoryDump &dump);
    bool storeParameterRead(const ParameterRead &read, QString *error);
    // Logs a change sent to the pager, with the pager's last reported value
    // of the setting as the value before.
    bool storeSettingChange(const QString &serialNumber, const QString &settingName,
                            const QString &valueSent, SettingOutcome outcome, QString *error,
                            const QVariant &clockOffset = QVariant());
    // A calibration (archivecalibrations.cpp): appended, never changed. Its
    // entry time, user, PC and uid are filled in when empty. Refused: no
    // valid date, an interval outside 1..240 months, a serial number that
    // is none.
    bool storeCalibration(Calibration calibration, QString *error);

    // ---- Queries ----
    // The pagers with their totals: each costs a lookup, not a count of its
    // records.
    QList<ArchivePager> pagers(QString *error = nullptr);
    // Whether the archive holds the pager (false, with *error, when it could
    // not say).
    bool hasPager(const QString &serialNumber, QString *error = nullptr);
    // When each serial number was last read (parameters or a download): what
    // a choice between several pagers shows beside each.
    QHash<QString, QDateTime> lastReadTimes(QString *error = nullptr);
    QList<ArchiveDownload> downloads(const QString &serialNumber, QString *error = nullptr);
    bool downloadDump(qint64 id, HistoryDump *dump, QString *error);
    // The pager's last reported value of a setting (read, or stored by a
    // change), empty when the archive holds none.
    QString lastReportedValue(const QString &serialNumber, const QString &settingName);
    // Records of [from, to) in time order after `after` (the last one seen;
    // nullptr for the first page), at most `limit`; fewer only when the
    // period holds no more, or on an error (told in `error`).
    QList<ArchiveRecord> recordPage(const QString &serialNumber, const QDateTime &from,
                                    const QDateTime &to, const ArchiveRecord *after, int limit,
                                    QString *error = nullptr);
    // The records of [from, to) by position, as recordPage gives them in
    // turn (archiverecordaccess.cpp): how many there are, and at most `limit`
    // of them from position `offset` (0: the first), fewer only at the end of
    // the period or on an error. A negative offset counts from the end (-1:
    // the last; from the first when it counts back past it), which finds the
    // last pages of a long period at once.
    qint64 recordCount(const QString &serialNumber, const QDateTime &from, const QDateTime &to,
                       QString *error = nullptr);
    QList<ArchiveRecord> recordsFrom(const QString &serialNumber, const QDateTime &from,
                                     const QDateTime &to, qint64 offset, int limit,
                                     QString *error = nullptr);
    // Every record of [from, to) in time order, handed to `each` as it is
    // read (one query, nothing kept; its copy and download not read); false
    // on an error.
    bool forEachRecord(const QString &serialNumber, const QDateTime &from, const QDateTime &to,
                       const std::function<void(const HistoryRecord &)> &each,
                       QString *error = nullptr);
    ArchivePeriodSummary summarize(const QString &serialNumber, const QDateTime &from,
                                   const QDateTime &to, QString *error = nullptr);
    // The zone each download's records are shown in.
    QHash<qint64, QTimeZone> downloadZones(const QString &serialNumber);
    // The settings log of a pager, or of all when the serial number is empty.
    QList<SettingsLogEntry> settingsLog(const QString &serialNumber, QString *error = nullptr);
    // The calibrations of a pager, or of all when the serial number is empty,
    // by pager, then date, then entry.
    QList<Calibration> calibrations(const QString &serialNumber, QString *error = nullptr);
    // The calibration state on `today` of every pager the archive names
    // (one query for the pagers, one for the calibrations), by serial number.
    QList<CalibrationState> calibrationStates(const QDate &today, QString *error = nullptr,
                                              int warningDays = calibrationWarningDays);
    CalibrationState calibrationStateOf(const QString &serialNumber, const QDate &today,
                                        QString *error = nullptr);
    // A pager's clock offsets at its contacts, oldest first.
    QList<ClockOffset> clockOffsets(const QString &serialNumber, QString *error = nullptr);

    // ---- Wearers and assignments (archivewearers.cpp) ----
    // Each is an event appended to the archive, synchronised like a setting
    // change; nothing is ever changed in place. A wearer entered again under
    // the same number is renamed.
    bool addWearer(const QString &number, const QString &name, QString *error);
    QList<ArchiveWearer> wearers(QString *error = nullptr);
    // Gives a pager to a wearer from `from` until `until` (invalid: until
    // returned; the return is then an event of its own). Refused, naming the
    // other, when it would overlap another assignment of the pager, and for
    // a wearer not entered; a pager not read yet is added to the archive.
    bool assignPager(const QString &serialNumber, const QString &wearer, const QDateTime &from,
                     const QDateTime &until, QString *error);
    // The return of the pager's worn assignment at `at` (after its start).
    bool returnPager(const QString &serialNumber, const QDateTime &at, QString *error);
    // Every assignment, by pager and time.
    QList<ArchiveAssignment> assignments(QString *error = nullptr);
    // The wearer's dose over [from, to): per assignment, its total, and the
    // unassigned records of the pagers worn; false, with *error, on an
    // unknown wearer or a read error.
    bool wearerDose(const QString &wearer, const QDateTime &from, const QDateTime &to,
                    ArchiveWearerDose *dose, QString *error);

    // ---- Review and sign-off (archivereview.cpp; review.h) ----
    // The downloads to review that nobody has signed, oldest first (reads
    // only the downloads to review, never their records).
    QList<ArchiveReview> pendingReviews(QString *error = nullptr);
    // Signs a download (its id in this archive): appended, never changed; a
    // second signature adds to the first. `signer` empty: the OS user;
    // `at` invalid: now. Refused: no such download, remarks or a rejection
    // without a note, a signer or note that is too long or holds a control
    // character; on the server, a user without the reviewers' role (the
    // server's refusal, isRightsRefusal()).
    bool signDownload(qint64 downloadId, SignatureMeaning meaning, const QString &note,
                      const QString &signer, const QDateTime &at, QString *error);
    // The first and last instant of the records a download brought first
    // (invalid when none); false, with *error, when it could not say.
    bool downloadSpan(qint64 downloadId, QDateTime *first, QDateTime *last, QString *error);
    // The downloads that brought a pager's records of [from, to), each with
    // its signatures.
    QList<ArchiveReview> periodReviews(const QString &serialNumber, const QDateTime &from,
                                       const QDateTime &to, QString *error = nullptr);
    // What the server lets this user do (a file: everything); false, with
    // *error, when it could not say.
    struct Rights
    {
        bool store = true; // downloads, reads, changes, calibrations, wearer events
        bool sign = true;
    };
    bool rights(Rights *rights, QString *error);
    // The server's roles (serverrole in review.h) and their rights on the
    // tables, made or made again by the database's owner; false, with the
    // server's reason, otherwise. A file has none.
    bool setUpServerRoles(QString *error);
    // ---- The trail (archivechain.cpp) ----
    // Recomputes every chain the archive holds, with the records of its own
    // downloads, in a few queries read as they come.
    ArchiveVerifyResult verifyChains();
    // The events of [from, to) of every chain, by time.
    bool chainEvents(const QDateTime &from, const QDateTime &to, QList<ArchiveChainEvent> *events,
                     QString *error = nullptr);

private:
    friend ArchiveSyncResult synchronizeArchive(Archive &local, Archive &server);
    friend class ArchiveMerge; // holds the transactions of a merge (archivelocation.cpp)
    QSqlDatabase db;
    // A merge holds one transaction over many events: each event's own is
    // then a savepoint in it.
    bool held = false;
    Problem problem = Problem::None;
    QString detail;
    QString connectionName;
    QString name;
    QString engine = QStringLiteral("sqlite"); // the folder of its SQL: sqlite, postgresql
    bool checkedForWrite = false;              // the quick check before the first write passed
    bool checkRows = false;                    // that check is the integrity check
    QString writeRefusal;                      // why nothing may be written, when so
    std::function<void(int, int)> upgradeNotice;

    bool openFile(const QString &fileName, bool readOnly, bool immutable, QString *error);
    bool check(QString *error);
    // What keeps the file from being written, when it is no damage and the
    // system tells: a folder or file that cannot be written, no space, the
    // file-size limit (CannotOpen when none of them).
    Problem diagnose(QString *why) const;
    // SQLite's quick check of the whole file, once before the first write.
    bool checkBeforeWrite(QString *error);
    // A write that failed: why, in the system's words when it tells.
    void failedWrite(const QString &reason, QString *error);
    // What the database holds: its schema version (0: none yet, -1: a
    // version that cannot be read), its tables, whether it has meta.
    struct Shape
    {
        int version = 0;
        int tables = 0;
        bool hasMeta = false;
    };
    bool readShape(Shape *shape, QString *error, int *code = nullptr);
    bool upgrade(int from, QString *error);
    // The dose rate of every record and the hours table, filled in by the
    // upgrade to version 3.
    bool fillDoseRatesAndHours(QString *error);
    // The flags of every record held, found again from each download's
    // dump, by the upgrade to version 4.
    bool fillRecordFlags(QString *error);
    // Each download's review reasons, found from its records, by the
    // upgrade to version 5.
    bool fillReviewReasons(QString *error);
    // The pager's history interval in minutes as it last reported it; 0
    // when the archive holds none.
    int historyIntervalOf(const QString &serialNumber);
    // Makes the event `id` of `kind`, just stored, the next link of this
    // archive's chain (a download's records digest first).
    bool linkEvent(ChainedEvent kind, const QVariant &id, QString *error);
    // The upgrade to version 5: the events held become the archive's chain,
    // oldest first.
    bool linkEventsHeld(QString *error);
    bool appendWearerEvent(const QVariantList &values, QString *error);
    // The hours table over the span of `rows` (the pager's records there
    // counted again).
    bool refreshHours(qint64 pager, const QVector<ArchiveRecordRow> &rows, QString *error);
    // A download or a dump; without `outcome` it is complete when it decodes
    // to the end record.
    ArchiveStoreResult store(const HistoryDump &dump, const ArchiveOutcome *outcome,
                             const QString &origin, const QVariant &clockOffset = QVariant());
    bool beginWrite(QString *error);
    void rollback();
    bool commit(QString *error);
    qint64 pagerId(const QString &serialNumber, bool create, QString *error);
    // The calibrations of a pager's row, in the archive's order.
    bool pagerCalibrations(qint64 pager, QList<Calibration> *list, QString *error);
    // Inserts rows (in key order) that are not held yet; counts those added.
    bool insertRecords(qint64 pager, qint64 download, const QVector<ArchiveRecordRow> &rows,
                       int *inserted, QString *error);
};

// The user name of the operating system, for the settings log.
QString operatingSystemUser();
// The name of this PC (its host name), kept with each download, read and change.
QString archivePcName();

// The outcome of a write the pager answered or not.
inline SettingOutcome settingOutcome(bool stored, bool answered)
{
    return stored     ? SettingOutcome::Stored
           : answered ? SettingOutcome::Refused
                      : SettingOutcome::NoAnswer;
}
