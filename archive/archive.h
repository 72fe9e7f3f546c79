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
//  - One entry point per event: storeHistory (a download finished, or a dump
//    opened whose outcome the caller has decoded), importDump (a dump
//    imported), storeParameterRead, storeSettingChange. Each is one
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

#include "historydump.h"
#include "historyrecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QTimeZone>
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

// The names the settings are logged under.
namespace setting {
const char neutronSigma[] = "neutron-sigma";
const char gammaSigma[] = "gamma-sigma";
const char doseRateThreshold[] = "dose-rate-threshold";
const char historyInterval[] = "history-interval";
const char deviceTime[] = "device-time";
} // namespace setting

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
    QHash<char, qint64> events; // records by event code
    float peakDoseRate = 0;     // Sv/h; 0 without records
    QDateTime peakAt;
    float doseAtEnd = 0; // Sv: the dose of the period's last record
    QDateTime lastAt;
};

// One row of the settings log: a value read, or a change sent.
struct SettingsLogEntry
{
    QDateTime at;
    QString osUser;
    QString serialNumber;
    QString setting;
    QString valueBefore; // changes only; empty when the archive knew none
    QString value;       // the value read, or the value sent
    QString outcome;     // "read", or a settingOutcomeName
    QString pc;          // the host name of the PC that read or sent it; empty when not known
};

// A parameter read: the settings the pager answered (name, value text).
struct ParameterRead
{
    QString serialNumber;
    QList<QPair<QString, QString>> values;
};

// A record as stored: its bytes, copy and instant.
struct ArchiveRecordRow
{
    QByteArray stored;
    int copy = 1;
    qint64 time = 0;
};

class Archive
{
public:
    static constexpr int schemaVersion = 2;
    static constexpr int busyTimeoutMs = 10000;

    Archive();
    ~Archive();
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    // The archive file: $DR7326G_ARCHIVE when set, otherwise archive.sqlite
    // in the user's data folder of the program "dr7326g" (AppDataLocation),
    // the same for the window and the command-line tool.
    static QString defaultFileName();

    bool open(const QString &fileName, QString *error);
    // The lab's server: an empty database gets the tables; one of another
    // program or of a newer version is refused untouched, as a file is.
    bool openServer(const ArchiveServer &server, QString *error);
    // Why the last open() refused the file, or openServer() the server.
    enum class Problem {
        None,
        NoDriver,
        CannotOpen,
        Damaged,
        Foreign,
        Newer,
        Unreachable,  // the server: no connection (down, refused, wrong name)
        NeedsPassword // the server: it asks for a password not given
    };
    Problem openProblem() const { return problem; }
    void close();
    bool isOpen() const { return db.isOpen(); }
    bool isServer() const { return engine == QLatin1String("postgresql"); }
    // The file, or the server's URI (never with a password).
    QString fileName() const { return name; }

    // ---- Events ----
    // A download finished (origin "download") or a dump was imported
    // ("dump"): the dump compressed, and the records decoded from it.
    ArchiveStoreResult storeHistory(const HistoryDump &dump, ArchiveOutcome outcome,
                                    const QString &origin);
    // A dump imported: complete when it decodes to the end record.
    ArchiveStoreResult importDump(const HistoryDump &dump);
    bool storeParameterRead(const ParameterRead &read, QString *error);
    // Logs a change sent to the pager, with the pager's last reported value
    // of the setting as the value before.
    bool storeSettingChange(const QString &serialNumber, const QString &settingName,
                            const QString &valueSent, SettingOutcome outcome, QString *error);

    // ---- Queries ----
    QList<ArchivePager> pagers(QString *error = nullptr);
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
    ArchivePeriodSummary summarize(const QString &serialNumber, const QDateTime &from,
                                   const QDateTime &to, QString *error = nullptr);
    // The zone each download's records are shown in.
    QHash<qint64, QTimeZone> downloadZones(const QString &serialNumber);
    // The settings log of a pager, or of all when the serial number is empty.
    QList<SettingsLogEntry> settingsLog(const QString &serialNumber, QString *error = nullptr);

private:
    friend ArchiveSyncResult synchronizeArchive(Archive &local, Archive &server);
    QSqlDatabase db;
    Problem problem = Problem::None;
    QString connectionName;
    QString name;
    QString engine = QStringLiteral("sqlite"); // the folder of its SQL: sqlite, postgresql

    bool check(QString *error);
    // What the database holds: its schema version (0: none yet, -1: a
    // version that cannot be read), its tables, whether it has meta.
    struct Shape
    {
        int version = 0;
        int tables = 0;
        bool hasMeta = false;
    };
    bool readShape(Shape *shape, QString *error);
    bool upgrade(int from, QString *error);
    // A download or a dump; without `outcome` it is complete when it decodes
    // to the end record.
    ArchiveStoreResult store(const HistoryDump &dump, const ArchiveOutcome *outcome,
                             const QString &origin);
    bool beginWrite(QString *error);
    void rollback();
    bool commit(QString *error);
    qint64 pagerId(const QString &serialNumber, bool create, QString *error);
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
