#include "archive.h"

#include "archivedumpblob.h"
#include "archivelocation.h"
#include "archiveserver.h"
#include "archivesql.h"
#include "serialnumber.h"
#include "serverdeadline.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>
#include <QtEndian>

#include <cstring>

#include <QSet>
#include <QVector>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

qint64 nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

QVariant secondsOrNull(const QDateTime &t)
{
    return t.isValid() ? QVariant(t.toSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

QDateTime timeOf(const QVariant &seconds)
{
    return seconds.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(seconds.toLongLong());
}

QByteArray storedBytes(const HistoryRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.stored.data()), storedRecordSize);
}

// A record's identity as one value: its stored bytes, then its copy number
// (big-endian), so that the order is that of the key (stored, copy).
using Identity = std::array<std::uint8_t, storedRecordSize + 4>;

Identity identityOf(const std::uint8_t *stored, int copy)
{
    Identity id;
    std::copy(stored, stored + storedRecordSize, id.begin());
    qToBigEndian(quint32(copy), id.data() + storedRecordSize);
    return id;
}

// The copy of each record: the k-th time a download holds the same bytes
// is copy k, counted in download order.
QVector<int> recordCopies(const QList<HistoryRecord *> &records)
{
    QVector<int> byBytes(records.size()), copies(records.size());
    std::iota(byBytes.begin(), byBytes.end(), 0);
    std::stable_sort(byBytes.begin(), byBytes.end(),
                     [&](int x, int y) { return records.at(x)->stored < records.at(y)->stored; });
    for (int k = 0, copy = 0; k < byBytes.size(); ++k) {
        copy = k > 0 && records.at(byBytes.at(k - 1))->stored == records.at(byBytes.at(k))->stored
                   ? copy + 1
                   : 1;
        copies[byBytes.at(k)] = copy;
    }
    return copies;
}

int copyOf(const Identity &id)
{
    return int(qFromBigEndian<quint32>(id.data() + storedRecordSize));
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// A clock offset as bound: a whole number of seconds, or NULL.
QVariant offsetOrNull(const QVariant &offset)
{
    return offset.isValid() && !offset.isNull() ? QVariant(offset.toLongLong())
                                                : QVariant(QVariant::LongLong);
}

QString newEventId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// SQLite's result codes that mean the file is no database or a damaged one.
constexpr int sqliteCorrupt = 11;
constexpr int sqliteNotADatabase = 26;

int sqliteCode(const QSqlError &error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

// Makes the missing folders of `path`, each the user's alone.
bool makePrivateFolders(const QString &path)
{
    QStringList missing;
    for (QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
         !QFileInfo::exists(folder);) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            break;
        folder = parent;
    }
    for (const QString &folder : missing)
        if (!QDir().mkdir(folder) ||
            !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner))
            return false;
    return QFileInfo(path).isDir();
}

// Creates the empty file SQLite then sets up, the user's alone whatever the
// umask (SQLite gives its -wal and -shm files the mode of the file).
bool createPrivateFile(const QString &fileName, QString *why)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
#else
    Q_UNUSED(fileName);
    Q_UNUSED(why);
#endif
    return true;
}

// An archive of the user's that an earlier version left readable by others
// (its file, -wal and -shm) becomes the user's alone.
void keepPrivate(const QString &fileName)
{
#ifdef Q_OS_UNIX
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QByteArray file = QFile::encodeName(fileName + QLatin1String(suffix));
        struct stat s;
        if (::stat(file.constData(), &s) == 0 && s.st_uid == ::geteuid() && (s.st_mode & 077))
            ::chmod(file.constData(), s.st_mode & 0700);
    }
#else
    Q_UNUSED(fileName);
#endif
}

} // namespace

QString archivePcName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("?") : host;
}

int archiveRecordMinute(const QByteArray &stored)
{
    return stored.size() < 3 ? 0
                             : int(storedRecordMinutes(
                                   reinterpret_cast<const std::uint8_t *>(stored.constData())));
}

QVariant archiveRecordDoseRate(const QByteArray &stored)
{
    if (stored.size() != storedRecordSize)
        return QVariant(QVariant::Double);
    const float rate =
        decodeStoredRecord(reinterpret_cast<const std::uint8_t *>(stored.constData()), qint64(0))
            .doseRate;
    return std::isfinite(rate) ? QVariant(double(rate)) : QVariant(QVariant::Double);
}

void sortArchiveRecordRows(QVector<ArchiveRecordRow> &rows)
{
    std::sort(rows.begin(), rows.end(), [](const ArchiveRecordRow &a, const ArchiveRecordRow &b) {
        if (a.time != b.time)
            return a.time < b.time;
        const int c = std::memcmp(a.stored.constData(), b.stored.constData(),
                                  size_t(qMin(a.stored.size(), b.stored.size())));
        if (c != 0)
            return c < 0;
        if (a.stored.size() != b.stored.size())
            return a.stored.size() < b.stored.size();
        return a.copy < b.copy;
    });
}

QString archiveOutcomeName(ArchiveOutcome outcome)
{
    switch (outcome) {
    case ArchiveOutcome::Complete:
        return QStringLiteral("complete");
    case ArchiveOutcome::Stopped:
        return QStringLiteral("stopped");
    case ArchiveOutcome::Incomplete:
        break;
    }
    return QStringLiteral("incomplete");
}

QString settingOutcomeName(SettingOutcome outcome)
{
    switch (outcome) {
    case SettingOutcome::Stored:
        return QStringLiteral("stored");
    case SettingOutcome::Refused:
        return QStringLiteral("refused");
    case SettingOutcome::NotConfirmed:
        return QStringLiteral("not-confirmed");
    case SettingOutcome::NoAnswer:
        break;
    }
    return QStringLiteral("no-answer");
}

QString operatingSystemUser()
{
    for (const char *variable : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(variable);
        if (!user.isEmpty())
            return user;
    }
#ifdef Q_OS_UNIX
    if (const passwd *entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    return QStringLiteral("?");
}

Archive::Archive()
{
    static std::atomic<int> counter{0};
    connectionName = QStringLiteral("dr7326g-archive-%1").arg(counter++);
}

Archive::~Archive()
{
    close();
}

QString Archive::defaultFileName()
{
    const QString named = qEnvironmentVariable("DR7326G_ARCHIVE");
    if (!named.isEmpty())
        return named;
    return programDataFolder() + QStringLiteral("/archive.sqlite");
}

void Archive::close()
{
    if (db.isValid()) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

bool Archive::open(const QString &fileName, OpenMode mode, QString *error)
{
    QString why;
    if (openFile(fileName, false, false, &why))
        return true;
    const Problem refused = problem;
    if (mode == OpenMode::Store ||
        (refused != Problem::NotWritable && refused != Problem::NoSpace) ||
        !QFileInfo(fileName).isFile()) {
        setError(error, why);
        return false;
    }
    // Browsing an archive that cannot be written: read-only, and without
    // the shared-memory file when SQLite cannot make one beside it.
    QString readWhy;
    if (!openFile(fileName, true, false, &readWhy) &&
        (problem == Problem::Damaged || problem == Problem::Foreign || problem == Problem::Newer ||
         !openFile(fileName, true, true, &readWhy))) {
        setError(error, readWhy);
        return false;
    }
    problem = refused;
    writeRefusal = why;
    return true;
}

bool Archive::openFile(const QString &fileName, bool readOnly, bool immutable, QString *error)
{
    close();
    engine = QStringLiteral("sqlite");
    name = fileName;
    problem = Problem::CannotOpen;
    checkedForWrite = false;
    writeRefusal.clear();
    const QFileInfo info(fileName);
    const bool existed = info.exists();
    if (existed && !info.isFile()) {
        setError(error, QStringLiteral("%1 is not a file").arg(fileName));
        return false;
    }
    // SQLite would open it read-only without a word, and refuse the first write.
    if (existed && !readOnly && !info.isWritable()) {
        problem = Problem::NotWritable;
        setError(error, QStringLiteral("%1 cannot be written here: the file is read-only for this "
                                       "user; the archive was left as it is")
                            .arg(fileName));
        return false;
    }
    // The user's data folder does not exist before the first run.
    if (!existed && !makePrivateFolders(info.absolutePath())) {
        setError(error, QStringLiteral("cannot make the folder %1").arg(info.absolutePath()));
        return false;
    }
    QString why;
    if (!existed && !createPrivateFile(fileName, &why)) {
        QString diagnosed;
        problem = diagnose(&diagnosed);
        setError(error, QStringLiteral("cannot create %1: %2")
                            .arg(fileName, problem == Problem::CannotOpen ? why : diagnosed));
        return false;
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    if (!db.isValid()) {
        problem = Problem::NoDriver;
        setError(error, QStringLiteral("the SQLite driver of Qt is not installed "
                                       "(libqt5sql5-sqlite)"));
        close();
        return false;
    }
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (immutable) {
        // Nobody writes what SQLite cannot keep its shared memory beside.
        options += QStringLiteral(";QSQLITE_OPEN_URI");
        db.setDatabaseName(
            QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) +
            QStringLiteral("?immutable=1"));
    } else {
        db.setDatabaseName(fileName);
    }
    db.setConnectOptions(options);
    if (readOnly)
        writeRefusal = QStringLiteral("%1 is open for reading only").arg(fileName);
    if (!db.open()) {
        problem = diagnose(&why);
        setError(error,
                 QStringLiteral("cannot open %1: %2")
                     .arg(fileName, problem == Problem::CannotOpen ? db.lastError().text() : why));
        close();
        return false;
    }
    if (!check(error)) {
        close();
        // What was created for it is not left behind: an empty file, or
        // one whose setting up could not be written.
        if (!existed && (QFileInfo(fileName).size() == 0 || problem == Problem::NoSpace ||
                         problem == Problem::NotWritable))
            for (const char *suffix : {"", "-wal", "-shm"})
                QFile::remove(fileName + QLatin1String(suffix));
        return false;
    }
    if (!readOnly)
        keepPrivate(fileName);
    problem = Problem::None;
    return true;
}

Archive::Problem Archive::diagnose(QString *why) const
{
    const QFileInfo info(name);
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (!QFileInfo(info.absolutePath()).isWritable()) {
        *why = QStringLiteral("the folder %1 is read-only for this user (SQLite keeps its -wal "
                              "and -shm files beside the archive)")
                   .arg(folder);
        return Problem::NotWritable;
    }
    if (info.exists() && !info.isWritable()) {
        *why = QStringLiteral("the file is read-only for this user");
        return Problem::NotWritable;
    }
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        *why = QStringLiteral("the file-size limit of this process (ulimit -f) is %1 bytes")
                   .arg(qulonglong(limit.rlim_cur));
        return Problem::NoSpace;
    }
#endif
    const QStorageInfo disk(info.absolutePath());
    constexpr qint64 little = 1 << 20; // less than SQLite may need for one write
    if (disk.isValid() && disk.bytesAvailable() < little) {
        *why = QStringLiteral("no space is left on the disk of %1").arg(folder);
        return Problem::NoSpace;
    }
    return Problem::CannotOpen;
}

bool Archive::openServer(const ArchiveServer &server, QString *error)
{
    close();
    engine = QStringLiteral("postgresql");
    name = server.uri();
    problem = Problem::CannotOpen;
    detail.clear();
    QString reason;
    const QStringList options = serverConnectOptions(server, &reason);
    if (!reason.isEmpty()) {
        setError(error, QStringLiteral("%1: %2").arg(name, reason));
        return false;
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    if (!db.isValid()) {
        problem = Problem::NoDriver;
        setError(error, QStringLiteral("the PostgreSQL driver of Qt is not installed "
                                       "(libqt5sql5-psql)"));
        close();
        return false;
    }
    db.setHostName(server.host);
    db.setPort(server.port > 0 ? server.port : -1);
    db.setDatabaseName(server.database);
    db.setUserName(server.user);
    db.setPassword(server.password);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open()) {
        // libpq's message is lines without a closing full stop: one line each,
        // joined so that they still read as sentences.
        QStringList lines;
        for (const QString &line : db.lastError().databaseText().split(QLatin1Char('\n')))
            if (!line.simplified().isEmpty())
                lines << line.simplified();
        const QString why = lines.join(QStringLiteral("; "));
        const bool none = why.contains(QLatin1String("no password supplied"));
        const bool refused = why.contains(QLatin1String("password authentication failed"));
        problem = none      ? Problem::NeedsPassword
                  : refused ? Problem::PasswordRefused
                            : Problem::Unreachable;
        detail = why;
        setError(error,
                 none      ? QStringLiteral("the server %1 asks for a password: %2").arg(name, why)
                 : refused ? QStringLiteral("the server %1 refused the password: %2").arg(name, why)
                           : QStringLiteral("cannot reach the server %1: %2").arg(name, why));
        close();
        return false;
    }
    if (!check(error)) {
        close();
        return false;
    }
    problem = Problem::None;
    return true;
}

bool Archive::readShape(Shape *shape, QString *error, int *code)
{
    QSqlQuery query(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("check"), {}, error) || !query.next()) {
        if (code)
            *code = sqliteCode(query.lastError());
        return false;
    }
    // An SQLite file tells its version in its header; a server in meta (-1
    // when meta does not say).
    const QVariant header = query.value(0);
    shape->tables = query.value(1).toInt();
    shape->hasMeta = query.value(2).toInt() == 1;
    query.finish();
    shape->version = header.isNull() ? 0 : header.toInt();
    if (header.isNull() && shape->hasMeta) {
        QSqlQuery meta(db);
        bool isNumber = false;
        shape->version =
            runArchiveQuery(meta, engine, QStringLiteral("select_schema_version"), {}, nullptr) &&
                    meta.next()
                ? meta.value(0).toString().toInt(&isNumber)
                : 0;
        if (!isNumber)
            shape->version = -1;
    }
    return true;
}

bool Archive::check(QString *error)
{
    QString reason;
    Shape shape;
    int code = 0;
    if (!readShape(&shape, &reason, &code)) {
        // "Damaged" only when SQLite says so: a good archive that cannot be
        // read here for another reason must not be taken for a broken one.
        if (isServer() || code == sqliteCorrupt || code == sqliteNotADatabase) {
            problem = Problem::Damaged;
            setError(error,
                     QStringLiteral("%1 is not an archive of this program or is damaged (%2); "
                                    "it was left as it is")
                         .arg(name, reason));
            return false;
        }
        QString why;
        problem = diagnose(&why);
        setError(error,
                 problem == Problem::CannotOpen
                     ? QStringLiteral("cannot use %1: %2; it was left as it is").arg(name, reason)
                     : QStringLiteral("%1 cannot be written here: %2; the archive was "
                                      "left as it is")
                           .arg(name, why));
        return false;
    }
    const auto foreign = [&] {
        problem = Problem::Foreign;
        setError(
            error,
            QStringLiteral("%1 is a database of another program; it was left as it is").arg(name));
        return false;
    };
    const int version = shape.version;
    if (version < 0 || (version == 0 && shape.tables > 0))
        return foreign();
    if (version > schemaVersion) {
        problem = Problem::Newer;
        setError(error, QStringLiteral("%1 was made by a newer version of this program (archive "
                                       "version %2, this one knows %3); it was left as it is")
                            .arg(name)
                            .arg(version)
                            .arg(schemaVersion));
        return false;
    }
    if (version > 0 && !shape.hasMeta)
        return foreign();
    if (version > 0) {
        QSqlQuery meta(db);
        if (!runArchiveQuery(meta, engine, QStringLiteral("select_application"), {}, &reason) ||
            !meta.next() || meta.value(0).toString() != QLatin1String("DR7326G-05A archive"))
            return foreign();
    }
    if (version < schemaVersion && !writeRefusal.isEmpty()) {
        problem = Problem::NotWritable;
        setError(error, QStringLiteral("%1 was made by an earlier version of this program and is "
                                       "upgraded when it is first written to, which cannot be "
                                       "done here; it was left as it is")
                            .arg(name));
        return false;
    }
    if (!runArchiveScript(db, engine,
                          writeRefusal.isEmpty() ? QStringLiteral("connection")
                                                 : QStringLiteral("connection_readonly"),
                          &reason)) {
        setError(error, QStringLiteral("cannot use %1: %2").arg(name, reason));
        return false;
    }
    return upgrade(version, error);
}

bool Archive::upgrade(int from, QString *error)
{
    // A new archive is built by the setup file; an older one is moved forward
    // by upgrade_<version>, each step in its own transaction, after which the
    // version is read again (setup may reach any version).
    int version = from;
    if (version < schemaVersion && !checkBeforeWrite(error))
        return false;
    if (version > 0 && version < schemaVersion && upgradeNotice)
        upgradeNotice(version, schemaVersion);
    while (version < schemaVersion) {
        const QString script =
            version == 0 ? QStringLiteral("setup") : QStringLiteral("upgrade_%1").arg(version + 1);
        QString reason;
        if (!runArchiveScript(db, engine, QStringLiteral("begin_setup"), &reason)) {
            failedWrite(reason, error);
            return false;
        }
        // Another program may have set the archive up meanwhile.
        Shape shape;
        if (!readShape(&shape, &reason) || shape.version != version) {
            rollback();
            return check(error);
        }
        // The dose rates the new records table keeps are decoded here (the
        // server's script decodes them itself), in the same transaction.
        if (!runArchiveScript(db, engine, script, &reason) ||
            (version == 2 && !isServer() && !fillDoseRatesAndHours(&reason)) ||
            (version == 3 && !fillRecordFlags(&reason)) ||
            (version == 4 && !fillReviewReasons(&reason)) ||
            (version == 5 && !linkEventsHeld(&reason)) || !commit(&reason)) {
            rollback();
            failedWrite(reason, error);
            return false;
        }
        const int reached = readShape(&shape, &reason) ? shape.version : -1;
        if (reached <= version) {
            setError(error, QStringLiteral("cannot set up %1: %2 left it at version %3")
                                .arg(name, script)
                                .arg(reached));
            return false;
        }
        version = reached;
    }
    return true;
}

bool Archive::fillDoseRatesAndHours(QString *error)
{
    constexpr int chunk = 20000;
    QVariantList after{qint64(-1), qint64(0), QByteArray(""), 0};
    QSqlQuery select(db), update(db);
    select.setForwardOnly(true);
    for (;;) {
        QVector<QVariantList> keys;
        if (!runArchiveQuery(select, engine, QStringLiteral("select_records_to_fill"),
                             after + QVariantList{chunk}, error))
            return false;
        while (select.next())
            keys.append({select.value(0), select.value(1), select.value(2), select.value(3)});
        select.finish();
        for (const QVariantList &key : qAsConst(keys))
            if (!runArchiveQuery(update, engine, QStringLiteral("update_record_dose_rate"),
                                 QVariantList{archiveRecordDoseRate(key.at(2).toByteArray())} + key,
                                 error))
                return false;
        if (keys.size() < chunk)
            break;
        after = keys.constLast();
    }
    QSqlQuery pagers(db), refresh(db);
    if (!runArchiveQuery(pagers, engine, QStringLiteral("select_pager_ids"), {}, error))
        return false;
    while (pagers.next())
        if (!runArchiveQuery(refresh, engine, QStringLiteral("refresh_record_hours_3"),
                             {pagers.value(0), 0, qint64(1) << 40}, error))
            return false;
    return true;
}

bool Archive::fillRecordFlags(QString *error)
{
    // Each download's records again, flagged as a store would have; only the
    // rows it brought first take its flags, and only flagged ones are
    // written (the column starts at 0). The interval is the one reported
    // last, as at a store now.
    QList<QVariantList> downloads;
    QSqlQuery query(db), update(db);
    query.setForwardOnly(true);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_flag_downloads"), {}, error))
        return false;
    while (query.next())
        downloads.append({query.value(0), query.value(1), query.value(2)});
    query.finish();
    QHash<qint64, int> intervals;
    QSet<qint64> pagersFlagged;
    for (const QVariantList &download : qAsConst(downloads)) {
        // A dump that cannot be read back leaves its records unflagged.
        HistoryDump dump;
        if (!runArchiveQuery(query, engine, QStringLiteral("select_dump"), {download.at(0)}, error))
            return false;
        const bool readable =
            query.next() && readArchiveDumpBlob(query.value(0).toByteArray(),
                                                query.value(1).toLongLong(), &dump, nullptr);
        query.finish();
        if (!readable)
            continue;
        const qint64 pager = download.at(1).toLongLong();
        if (!intervals.contains(pager))
            intervals.insert(pager, historyIntervalOf(download.at(2).toString()));
        QList<HistoryRecord *> records;
        decodeHistoryDump(dump, records, intervals.value(pager));
        const std::unique_ptr<QList<HistoryRecord *>, void (*)(QList<HistoryRecord *> *)> owner(
            &records, [](QList<HistoryRecord *> *list) { qDeleteAll(*list); });
        const QVector<int> copies = recordCopies(records);
        for (int i = 0; i < records.size(); ++i) {
            const HistoryRecord &r = *records.at(i);
            if (!r.flags)
                continue;
            if (!runArchiveQuery(update, engine, QStringLiteral("update_record_flags"),
                                 {int(r.flags), pager, qint64(r.time), storedBytes(r), copies.at(i),
                                  download.at(0)},
                                 error))
                return false;
            pagersFlagged << pager;
        }
    }
    QSqlQuery refresh(db);
    for (const qint64 pager : qAsConst(pagersFlagged))
        if (!runArchiveQuery(refresh, engine, QStringLiteral("refresh_record_hours"),
                             {pager, 0, qint64(1) << 40}, error))
            return false;
    return true;
}

int Archive::historyIntervalOf(const QString &serialNumber)
{
    bool ok = false;
    const int minutes = lastReportedValue(serialNumber, QLatin1String(setting::historyInterval))
                            .trimmed()
                            .toInt(&ok);
    return ok && minutes > 0 ? minutes : 0;
}

bool Archive::refreshHours(qint64 pager, const QVector<ArchiveRecordRow> &rows, QString *error)
{
    if (rows.isEmpty())
        return true;
    qint64 first = rows.first().time, last = first;
    for (const ArchiveRecordRow &row : rows) {
        first = qMin(first, row.time);
        last = qMax(last, row.time);
    }
    QSqlQuery refresh(db);
    return runArchiveQuery(refresh, engine, QStringLiteral("refresh_record_hours"),
                           {pager, first / 3600 * 3600, (last / 3600 + 1) * 3600}, error);
}

void Archive::failedWrite(const QString &reason, QString *error)
{
    QString why;
    problem = !isServer()               ? diagnose(&why)
              : isRightsRefusal(reason) ? Problem::NoRights
                                        : Problem::CannotOpen;
    setError(error, QStringLiteral("cannot write %1: %2")
                        .arg(name, problem == Problem::CannotOpen ? reason : why));
}

bool Archive::checkBeforeWrite(QString *error)
{
    if (!writeRefusal.isEmpty()) {
        setError(error, writeRefusal);
        return false;
    }
    if (checkedForWrite || isServer())
        return true;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QString reason;
    QStringList found;
    const QString check =
        checkRows ? QStringLiteral("integrity_check") : QStringLiteral("quick_check");
    if (runArchiveQuery(query, engine, check, {}, &reason))
        while (query.next())
            found << query.value(0).toString().simplified();
    if (found == QStringList{QStringLiteral("ok")}) {
        checkedForWrite = true;
        return true;
    }
    // The check itself may stop at the damage.
    if (query.lastError().isValid()) {
        const int code = sqliteCode(query.lastError());
        if (code != sqliteCorrupt && code != sqliteNotADatabase) {
            failedWrite(query.lastError().text(), error); // no damage: the next write checks again
            return false;
        }
        found << query.lastError().text();
    }
    problem = Problem::Damaged;
    writeRefusal = QStringLiteral("%1 is damaged (SQLite's check: %2); nothing was written to "
                                  "it, it was left as it is")
                       .arg(name, found.join(QStringLiteral("; ")));
    setError(error, writeRefusal);
    return false;
}

bool Archive::beginWrite(QString *error)
{
    if (!checkBeforeWrite(error))
        return false;
    if (held) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SAVEPOINT event")))
            return true;
        setError(error, query.lastError().text());
        return false;
    }
    return runArchiveScript(db, engine, QStringLiteral("begin_write"), error);
}

void Archive::rollback()
{
    if (!db.isOpen())
        return; // a server's connection cut at a time limit: nothing to undo here
    const ServerDeadline deadline(db);
    QSqlQuery(db).exec(held ? QStringLiteral("ROLLBACK TO event") : QStringLiteral("ROLLBACK"));
}

bool Archive::commit(QString *error)
{
    if (!db.isOpen()) {
        setError(error, QStringLiteral("the connection is closed"));
        return false;
    }
    QSqlQuery query(db);
    const ServerDeadline deadline(db);
    if (query.exec(held ? QStringLiteral("RELEASE event") : QStringLiteral("COMMIT")))
        return true;
    setError(error, deadline.reason(query.lastError().text()));
    return false;
}

qint64 Archive::pagerId(const QString &serialNumber, bool create, QString *error)
{
    // The last guard: whatever the caller checked, no text that cannot be a
    // serial number becomes a pager (on a server it would stop every sync).
    // The sync knows this refusal by its first words and goes on past it.
    if (create && !isSerialNumber(serialNumber)) {
        setError(error, QStringLiteral("not stored: %1").arg(serialNumberProblem(serialNumber)));
        return 0;
    }
    QSqlQuery query(db);
    if (create &&
        !runArchiveQuery(query, engine, QStringLiteral("insert_pager"), {serialNumber}, error))
        return 0;
    if (!runArchiveQuery(query, engine, QStringLiteral("select_pager"), {serialNumber}, error))
        return 0;
    if (!query.next()) {
        setError(error, QStringLiteral("no pager %1 in the archive").arg(serialNumber));
        return 0;
    }
    return query.value(0).toLongLong();
}

bool Archive::insertRecords(qint64 pager, qint64 download, const QVector<ArchiveRecordRow> &rows,
                            int *inserted, QString *error)
{
    // Many rows a statement: a statement run costs more than a row. At eight
    // values a row, within the 999 bound values older SQLite builds allow.
    constexpr int values = 8;
    constexpr int rowsAtOnce = 999 / values;
    if (!db.isOpen()) {
        setError(error, QStringLiteral("the connection is closed"));
        return false;
    }
    QSqlQuery insert(db);
    for (int at = 0; at < rows.size(); at += rowsAtOnce) {
        const int count = qMin(rowsAtOnce, int(rows.size()) - at);
        const ServerDeadline deadline(db);
        if (at == 0 || count < rowsAtOnce) {
            insert.finish();
            if (!insert.prepare(
                    archiveStatementForRows(engine, QStringLiteral("insert_record"), count))) {
                setError(error, deadline.reason(insert.lastError().text()));
                return false;
            }
        }
        for (int k = 0; k < count; ++k) {
            const ArchiveRecordRow &row = rows.at(at + k);
            const int v = values * k;
            insert.bindValue(v, pager);
            insert.bindValue(v + 1, row.time);
            insert.bindValue(v + 2, row.stored);
            insert.bindValue(v + 3, row.copy);
            insert.bindValue(v + 4, download);
            insert.bindValue(v + 5, archiveRecordMinute(row.stored));
            insert.bindValue(v + 6, archiveRecordDoseRate(row.stored));
            insert.bindValue(v + 7, int(row.flags));
        }
        if (!insert.exec()) {
            setError(error, deadline.reason(insert.lastError().text()));
            return false;
        }
        *inserted += insert.numRowsAffected();
    }
    return true;
}

ArchiveStoreResult Archive::importDump(const HistoryDump &dump)
{
    return store(dump, nullptr, QStringLiteral("dump"));
}

ArchiveStoreResult Archive::storeHistory(const HistoryDump &dump, ArchiveOutcome outcome,
                                         const QString &origin, const QVariant &clockOffset)
{
    return store(dump, &outcome, origin, clockOffset);
}

ArchiveStoreResult Archive::store(const HistoryDump &dump, const ArchiveOutcome *outcome,
                                  const QString &origin, const QVariant &clockOffset)
{
    ArchiveStoreResult result;
    if (!isOpen()) {
        result.error = QStringLiteral("no archive");
        return result;
    }
    if (dump.serialNumber.isEmpty()) {
        result.error = QStringLiteral("the history names no serial number");
        return result;
    }
    const QByteArray bytes = historyDumpBytes(dump);
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QString reason;
    auto fail = [&](const QString &why) {
        rollback();
        result.error = why;
        return result;
    };
    if (!beginWrite(&reason)) {
        result.error = reason;
        return result;
    }
    const qint64 pager = pagerId(dump.serialNumber, true, &reason);
    if (!pager)
        return fail(reason);
    QSqlQuery query(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_download_by_digest"),
                         {pager, digest}, &reason))
        return fail(reason);
    if (query.next()) {
        result.downloadId = query.value(0).toLongLong();
        result.alreadyStored = true;
        result.ok = true;
        rollback();
        return result;
    }
    query.finish();

    // Made on or after the pager's calibration due date: marked with it.
    QVariant overdueSince(QVariant::String);
    {
        QList<Calibration> held;
        if (!pagerCalibrations(pager, &held, &reason))
            return fail(reason);
        const QDate made =
            (dump.downloadedAt.isValid() ? dump.downloadedAt : QDateTime::currentDateTime()).date();
        const QDate due = calibrationState(dump.serialNumber, held, made).overdueOn(made);
        if (due.isValid())
            overdueSince = due.toString(Qt::ISODate);
    }
    QList<HistoryRecord *> records;
    // Flagged as decoded, against the interval the pager last reported.
    const bool complete = decodeHistoryDump(dump, records, historyIntervalOf(dump.serialNumber));
    const std::unique_ptr<QList<HistoryRecord *>, void (*)(QList<HistoryRecord *> *)> owner(
        &records, [](QList<HistoryRecord *> *list) { qDeleteAll(*list); });
    result.records = records.size();
    if (!runArchiveQuery(
            query, engine, QStringLiteral("insert_download"),
            {pager, origin, secondsOrNull(dump.downloadedAt),
             // A first-format dump names no zone: "", never NULL (the column refuses it).
             dump.timeZoneId.isEmpty() ? QStringLiteral("") : QString::fromLatin1(dump.timeZoneId),
             archiveOutcomeName(outcome    ? *outcome
                                : complete ? ArchiveOutcome::Complete
                                           : ArchiveOutcome::Incomplete),
             dump.pages.size(), records.size(), nowSeconds(), digest, bytes.size(),
             archiveDumpBlob(bytes), archivePcName(), overdueSince, offsetOrNull(clockOffset)},
            &reason))
        return fail(reason);
    result.downloadId = archiveInsertedId(query).toLongLong();
    query.finish();

    // The k-th time a download holds the same bytes is copy k. What the
    // archive holds already is looked up once for the download's span (the
    // same bytes decoded in another zone lie at most a day or so apart);
    // the key still refuses any other repeat.
    // Copies are counted in download order along runs of equal bytes.
    const QVector<int> copies = recordCopies(records);
    QVector<Identity> identities(records.size());
    for (int i = 0; i < records.size(); ++i)
        identities[i] = identityOf(records.at(i)->stored.data(), copies.at(i));
    qint64 first = std::numeric_limits<qint64>::max(), last = 0;
    for (const HistoryRecord *record : records) {
        first = qMin(first, qint64(record->time));
        last = qMax(last, qint64(record->time));
    }
    std::vector<Identity> held;
    constexpr qint64 zoneSpan = 2 * 24 * 3600;
    if (!records.isEmpty()) {
        query.setForwardOnly(true);
        if (!runArchiveQuery(query, engine, QStringLiteral("select_identities"),
                             {pager, first - zoneSpan, last + zoneSpan}, &reason))
            return fail(reason);
        while (query.next()) {
            const QByteArray stored = query.value(0).toByteArray();
            if (stored.size() == storedRecordSize)
                held.push_back(
                    identityOf(reinterpret_cast<const std::uint8_t *>(stored.constData()),
                               query.value(1).toInt()));
        }
        std::sort(held.begin(), held.end());
    }
    QVector<ArchiveRecordRow> rows;
    for (int i = 0; i < identities.size(); ++i)
        if (!std::binary_search(held.cbegin(), held.cend(), identities.at(i)))
            rows << ArchiveRecordRow{storedBytes(*records.at(i)), copyOf(identities.at(i)),
                                     qint64(records.at(i)->time), records.at(i)->flags};
    // Inserted in key order, which keeps the writes at the end of the trees.
    sortArchiveRecordRows(rows);
    if (!insertRecords(pager, result.downloadId, rows, &result.newRecords, &reason) ||
        (result.newRecords > 0 && !refreshHours(pager, rows, &reason)))
        return fail(reason);
    if (!runArchiveQuery(query, engine, QStringLiteral("update_download_new_records"),
                         {result.newRecords, result.downloadId}, &reason))
        return fail(reason);
    // Whether it is to be reviewed: from the records it brought first.
    DownloadFacts facts;
    facts.overdue = !overdueSince.isNull();
    for (const ArchiveRecordRow &row : qAsConst(rows)) {
        const char code = row.stored.size() > 3 ? row.stored.at(3) : 0;
        facts.alarms += code == 'A' || code == 'N' ? 1 : 0;
        facts.thresholds += code == 'e' ? 1 : 0;
        facts.flagged += row.flags ? 1 : 0;
    }
    if (const unsigned reasons = reviewReasons(facts))
        if (!runArchiveQuery(query, engine, QStringLiteral("update_download_review"),
                             {reasons, result.downloadId}, &reason))
            return fail(reason);
    // Its review reasons set, it is linked.
    if (!linkEvent(ChainedEvent::Download, result.downloadId, &reason) || !commit(&reason))
        return fail(reason);
    result.ok = true;
    return result;
}

bool Archive::storeParameterRead(const ParameterRead &read, QString *error)
{
    if (!isOpen()) {
        setError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!beginWrite(error))
        return false;
    QSqlQuery query(db);
    const qint64 pager = pagerId(read.serialNumber, true, error);
    bool ok = pager && runArchiveQuery(query, engine, QStringLiteral("insert_parameter_read"),
                                       {pager, nowSeconds(), operatingSystemUser(), archivePcName(),
                                        newEventId(), offsetOrNull(read.clockOffset)},
                                       error);
    const QVariant readId = ok ? archiveInsertedId(query) : QVariant();
    query.finish();
    for (int i = 0; ok && i < read.values.size(); ++i)
        ok = runArchiveQuery(query, engine, QStringLiteral("insert_read_value"),
                             {readId, read.values.at(i).first, read.values.at(i).second}, error);
    if (ok && linkEvent(ChainedEvent::ParameterRead, readId, error) && commit(error))
        return true;
    rollback();
    return false;
}

bool Archive::storeSettingChange(const QString &serialNumber, const QString &settingName,
                                 const QString &valueSent, SettingOutcome outcome, QString *error,
                                 const QVariant &clockOffset)
{
    if (!isOpen()) {
        setError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!beginWrite(error))
        return false;
    const QString before = lastReportedValue(serialNumber, settingName);
    QSqlQuery query(db);
    const qint64 pager = pagerId(serialNumber, true, error);
    if (pager &&
        runArchiveQuery(query, engine, QStringLiteral("insert_setting_change"),
                        {pager, nowSeconds(), operatingSystemUser(), settingName,
                         before.isEmpty() ? QVariant(QVariant::String) : QVariant(before),
                         valueSent, settingOutcomeName(outcome), archivePcName(), newEventId(),
                         offsetOrNull(clockOffset)},
                        error) &&
        linkEvent(ChainedEvent::SettingChange, archiveInsertedId(query), error) && commit(error))
        return true;
    rollback();
    return false;
}

QString Archive::lastReportedValue(const QString &serialNumber, const QString &settingName)
{
    const qint64 pager = pagerId(serialNumber, false, nullptr);
    if (!pager)
        return QString();
    // The later of the last read and the last change the pager took.
    QString value;
    qint64 at = -1;
    for (const char *file : {"select_last_read_value", "select_last_stored_change"}) {
        QSqlQuery query(db);
        if (runArchiveQuery(query, engine, QLatin1String(file), {pager, settingName}, nullptr) &&
            query.next() && query.value(1).toLongLong() >= at) {
            value = query.value(0).toString();
            at = query.value(1).toLongLong();
        }
    }
    return value;
}

bool Archive::hasPager(const QString &serialNumber, QString *error)
{
    QSqlQuery query(db);
    return isOpen() &&
           runArchiveQuery(query, engine, QStringLiteral("select_pager"), {serialNumber}, error) &&
           query.next();
}

QList<ArchivePager> Archive::pagers(QString *error)
{
    QList<ArchivePager> list;
    QSqlQuery query(db);
    if (!isOpen() || !runArchiveQuery(query, engine, QStringLiteral("select_pagers"), {}, error))
        return list;
    while (query.next()) {
        ArchivePager p;
        p.serialNumber = query.value(0).toString();
        p.records = query.value(1).toLongLong();
        p.firstRecord = timeOf(query.value(2));
        p.lastRecord = timeOf(query.value(3));
        p.lastDownload = timeOf(query.value(4));
        p.alarms = query.value(5).toLongLong();
        list << p;
    }
    return list;
}

QHash<QString, QDateTime> Archive::lastReadTimes(QString *error)
{
    QHash<QString, QDateTime> times;
    QSqlQuery query(db);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_last_reads"), {}, error))
        return times;
    while (query.next())
        if (query.value(1).toLongLong() > 0)
            times.insert(query.value(0).toString(), timeOf(query.value(1)));
    return times;
}

QList<ArchiveDownload> Archive::downloads(const QString &serialNumber, QString *error)
{
    QList<ArchiveDownload> list;
    QSqlQuery query(db);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_downloads"), {serialNumber}, error))
        return list;
    while (query.next()) {
        ArchiveDownload d;
        d.id = query.value(0).toLongLong();
        d.origin = query.value(1).toString();
        d.downloadedAt = timeOf(query.value(2));
        d.zone = query.value(3).toString().toLatin1();
        d.outcome = query.value(4).toString();
        d.pages = query.value(5).toInt();
        d.records = query.value(6).toInt();
        d.newRecords = query.value(7).toInt();
        d.storedAt = timeOf(query.value(8));
        d.dumpSize = query.value(9).toLongLong();
        d.pc = query.value(10).toString();
        d.overdueSince = QDate::fromString(query.value(11).toString(), Qt::ISODate);
        d.clockOffset = query.value(12).isNull() ? QVariant() : query.value(12).toLongLong();
        d.review = query.value(13).toUInt();
        list << d;
    }
    return list;
}

bool Archive::downloadDump(qint64 id, HistoryDump *dump, QString *error)
{
    QSqlQuery query(db);
    if (!isOpen() || !runArchiveQuery(query, engine, QStringLiteral("select_dump"), {id}, error))
        return false;
    if (!query.next()) {
        setError(error, QStringLiteral("no download %1 in the archive").arg(id));
        return false;
    }
    return readArchiveDumpBlob(query.value(0).toByteArray(), query.value(1).toLongLong(), dump,
                               error);
}

QList<ArchiveRecord> Archive::recordPage(const QString &serialNumber, const QDateTime &from,
                                         const QDateTime &to, const ArchiveRecord *after, int limit,
                                         QString *error)
{
    QList<ArchiveRecord> page;
    const qint64 pager = isOpen() ? pagerId(serialNumber, false, error) : 0;
    if (!pager)
        return page;
    // Before the first record: any stored bytes sort after the empty ones.
    QVariantList key =
        after ? QVariantList{qint64(after->record.time), storedBytes(after->record), after->copy}
              : QVariantList{from.toSecsSinceEpoch(), QByteArray(""), 0};
    page.reserve(limit);
    // Rows skipped below do not shorten the page: a short page ends the period.
    do {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        // The server sends the rows as they are read: each page has its time.
        const ServerDeadline deadline(db);
        const int wanted = limit - page.size();
        if (!runArchiveQuery(
                query, engine, QStringLiteral("select_records_page"),
                QVariantList{pager} + key + QVariantList{to.toSecsSinceEpoch(), wanted}, error))
            return page;
        int returned = 0;
        while (query.next()) {
            ++returned;
            const QByteArray stored = query.value(1).toByteArray();
            key = {query.value(0), stored, query.value(2)};
            if (stored.size() != storedRecordSize)
                continue; // not written by this program
            ArchiveRecord r;
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(stored.constData());
            // The instant kept is the one first decoded; the bytes give the rest.
            r.record = decodeStoredRecord(bytes, qint64(0));
            r.record.time = std::uint32_t(query.value(0).toLongLong());
            r.copy = query.value(2).toInt();
            r.downloadId = query.value(3).toLongLong();
            r.record.flags = std::uint8_t(query.value(4).toInt());
            page << r;
        }
        // A connection cut while the rows came is no end of the period.
        if (query.lastError().isValid()) {
            setError(error, deadline.reason(query.lastError().text()));
            return page;
        }
        if (returned < wanted)
            break;
    } while (page.size() < limit);
    return page;
}

ArchivePeriodSummary Archive::summarize(const QString &serialNumber, const QDateTime &from,
                                        const QDateTime &to, QString *error)
{
    ArchivePeriodSummary summary;
    const qint64 pager = isOpen() ? pagerId(serialNumber, false, error) : 0;
    if (!pager)
        return summary;
    // The period's whole hours from the hours table, the part hours at its
    // ends from the records: [start, hoursFrom), hours, [hoursTo, end).
    const qint64 start = from.toSecsSinceEpoch(), end = to.toSecsSinceEpoch();
    qint64 hoursFrom = (start + 3599) / 3600, hoursTo = end / 3600;
    if (start < 0 || hoursFrom >= hoursTo)
        hoursFrom = hoursTo = end / 3600 + 1; // no whole hour: all from the records
    const qint64 headEnd = qMin(end, hoursFrom * 3600), tailStart = qMax(start, hoursTo * 3600);
    // The server sends the rows as they are read: each query has its time.
    const ServerDeadline deadline(db);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    struct Part
    {
        QString sql;
        QVariantList bounds;
        QVariant peak;
    };
    QList<Part> parts{{QStringLiteral("select_period_summary"), {pager, start, headEnd}, {}},
                      {QStringLiteral("select_hours_summary"), {pager, hoursFrom, hoursTo}, {}},
                      {QStringLiteral("select_period_summary"), {pager, tailStart, end}, {}}};
    for (Part &part : parts) {
        if (part.bounds.at(1).toLongLong() >= part.bounds.at(2).toLongLong())
            continue;
        if (!runArchiveQuery(query, engine, part.sql, part.bounds, error) || !query.next())
            return ArchivePeriodSummary();
        summary.records += query.value(0).toLongLong();
        for (const auto &[code, column] : {std::pair('A', 1), std::pair('N', 2), std::pair('e', 3)})
            if (const qint64 count = query.value(column).toLongLong())
                summary.events[code] += count;
        summary.flagged += query.value(5).toLongLong();
        part.peak = query.value(4);
        if (!part.peak.isNull())
            summary.peakDoseRate = qMax(summary.peakDoseRate, float(part.peak.toDouble()));
        query.finish();
    }
    if (!summary.records)
        return summary;
    // The peak's first record: in the first part that holds it.
    for (const Part &part : qAsConst(parts)) {
        if (part.peak.isNull() || float(part.peak.toDouble()) != summary.peakDoseRate)
            continue;
        QVariantList within = part.bounds;
        if (part.sql == QLatin1String("select_hours_summary")) {
            if (!runArchiveQuery(query, engine, QStringLiteral("select_peak_hour"),
                                 part.bounds + QVariantList{part.peak}, error) ||
                !query.next())
                break;
            const qint64 hour = query.value(0).toLongLong();
            within = {pager, hour * 3600, hour * 3600 + 3600};
            query.finish();
        }
        if (runArchiveQuery(query, engine, QStringLiteral("select_period_peak"),
                            within + QVariantList{part.peak}, error) &&
            query.next())
            summary.peakAt = timeOf(query.value(0));
        query.finish();
        break;
    }
    if (runArchiveQuery(query, engine, QStringLiteral("select_period_last"), {pager, start, end},
                        error) &&
        query.next()) {
        const QByteArray stored = query.value(1).toByteArray();
        summary.lastAt = timeOf(query.value(0));
        if (stored.size() == storedRecordSize)
            summary.doseAtEnd =
                decodeStoredRecord(reinterpret_cast<const std::uint8_t *>(stored.constData()),
                                   qint64(0))
                    .dose;
    }
    return summary;
}

QHash<qint64, QTimeZone> Archive::downloadZones(const QString &serialNumber)
{
    QHash<qint64, QTimeZone> zones;
    QSqlQuery query(db);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_zones"), {serialNumber}, nullptr))
        return zones;
    while (query.next()) {
        // The zone rule of the dump it came from.
        HistoryDump d;
        d.timeZoneId = query.value(1).toString().toLatin1();
        d.downloadedAt = timeOf(query.value(2));
        zones.insert(query.value(0).toLongLong(), d.timeZone());
    }
    return zones;
}

QList<SettingsLogEntry> Archive::settingsLog(const QString &serialNumber, QString *error)
{
    QList<SettingsLogEntry> log;
    // A null string would be bound as NULL, which equals nothing.
    const QString any = serialNumber.isNull() ? QStringLiteral("") : serialNumber;
    QSqlQuery query(db);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_settings_log"), {any, any}, error))
        return log;
    while (query.next()) {
        SettingsLogEntry e;
        e.at = timeOf(query.value(0));
        e.osUser = query.value(1).toString();
        e.pc = query.value(2).toString();
        e.serialNumber = query.value(3).toString();
        e.setting = query.value(4).toString();
        e.valueBefore = query.value(5).toString();
        e.value = query.value(6).toString();
        e.outcome = query.value(7).toString();
        log << e;
    }
    return log;
}
