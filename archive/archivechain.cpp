// The trail: the events' hash chains (archivechain.h).
#include "archive.h"
#include "archivesql.h"
#include "serverdeadline.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <unordered_map>

namespace {

// The chained tables, in the order of ChainedEvent. Another event table is
// one more entry (and its select file per engine).
const ArchiveChainTable chainTables[] = {
    {"downloads", "chain_downloads", "ttittiiitibttit"},
    {"parameter_reads", "chain_parameter_reads", "titttit"},
    {"setting_changes", "chain_setting_changes", "tittttttti"},
    {"calibrations", "chain_calibrations", "tttitiittt"},
    {"wearer_events", "chain_wearer_events", "tttttititt"},
    {"signatures", "chain_signatures", "ttttittitt"},
};
constexpr int tableCount = int(sizeof chainTables / sizeof chainTables[0]);
constexpr int contentColumn = 5; // after id, time and the three chain columns
const QByteArray noLink(32, '\0');

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

void putNumber(QByteArray &out, qint64 value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    out.append(bytes, 8);
}

void putLength(QByteArray &out, int length)
{
    char bytes[4];
    qToBigEndian(quint32(length), bytes);
    out.append(bytes, 4);
}

// One value as the hash takes it (archivechain.h).
void putValue(QByteArray &out, char type, const QVariant &value)
{
    if (value.isNull()) {
        out += 'n';
        return;
    }
    switch (type) {
    case 'i':
        out += 'i';
        putNumber(out, value.toLongLong());
        return;
    case 'b':
        out += 'b';
        out += QCryptographicHash::hash(value.toByteArray(), QCryptographicHash::Sha256);
        return;
    default: {
        const QByteArray text = value.toString().toUtf8();
        out += 't';
        putLength(out, text.size());
        out += text;
    }
    }
}

// A record (its stored bytes, time * 2^24 + copy * 2^8 + flags) as its
// download's records digest takes it.
void addRecord(QByteArray &bytes, const char *stored, int size, qint64 packed)
{
    putLength(bytes, size);
    bytes.append(stored, size);
    putNumber(bytes, packed);
}

// SQLite's own calls, from the library Qt's driver loaded (never another
// copy: one database handle is one library's), for reading a million
// records without a QVariant for each value (three times faster). Null
// where the driver links SQLite into itself (the Windows build): the rows
// are then read through Qt.
struct SqliteCalls
{
    using Prepare = int (*)(void *, const char *, int, void **, const char **);
    using BindInt64 = int (*)(void *, int, qint64);
    using Step = int (*)(void *);
    using ColumnInt64 = qint64 (*)(void *, int);
    using ColumnBlob = const void *(*)(void *, int);
    using ColumnBytes = int (*)(void *, int);
    using Finalize = int (*)(void *);
    using ErrorMessage = const char *(*)(void *);
    Prepare prepare = nullptr;
    BindInt64 bindInt64 = nullptr;
    Step step = nullptr;
    ColumnInt64 columnInt64 = nullptr;
    ColumnBlob columnBlob = nullptr;
    ColumnBytes columnBytes = nullptr;
    Finalize finalize = nullptr;
    ErrorMessage errorMessage = nullptr;
    bool found() const
    {
        return prepare && bindInt64 && step && columnInt64 && columnBlob && columnBytes &&
               finalize && errorMessage;
    }
};

const SqliteCalls &sqliteCalls()
{
    static const SqliteCalls calls = [] {
        SqliteCalls c;
#if defined(Q_OS_UNIX)
        void *library = dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
        const auto find = [library](auto *call, const char *name) {
            *call = reinterpret_cast<std::remove_pointer_t<decltype(call)>>(
                library ? dlsym(library, name) : nullptr);
        };
        find(&c.prepare, "sqlite3_prepare_v2");
        find(&c.bindInt64, "sqlite3_bind_int64");
        find(&c.step, "sqlite3_step");
        find(&c.columnInt64, "sqlite3_column_int64");
        find(&c.columnBlob, "sqlite3_column_blob");
        find(&c.columnBytes, "sqlite3_column_bytes");
        find(&c.finalize, "sqlite3_finalize");
        find(&c.errorMessage, "sqlite3_errmsg");
#endif
        return c;
    }();
    return calls;
}

// The SQLite handle of a connection of Qt's SQLite driver; null for
// another driver.
void *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<void *const *>(handle.constData());
}

// Hashes on a thread of its own, while the next rows are read: reading a
// million records and hashing them each take about a second.
class Hashing
{
public:
    Hashing() : worker([this] { run(); }) {}
    ~Hashing() { finish(); }
    // A job, run after those given before.
    void add(std::function<void()> job)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(job));
        wake.notify_one();
    }
    // Waits until everything given is hashed.
    void finish()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
            wake.notify_one();
        }
        if (worker.joinable())
            worker.join();
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> queue;
    bool done = false;
    std::thread worker;

    void run()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return done || !queue.empty(); });
            if (queue.empty())
                return;
            const std::function<void()> job = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            job();
        }
    }
};

QByteArray linkHash(const QByteArray &previous, int table, const QString &archive, qint64 seq,
                    const QByteArray &content)
{
    QByteArray head = previous;
    head += "dr7326g-event";
    putValue(head, 't', QLatin1String(chainTables[table].table));
    putValue(head, 't', archive);
    putValue(head, 'i', seq);
    return QCryptographicHash::hash(head + content, QCryptographicHash::Sha256).toHex();
}

// A row of a chained table as the chain sees it.
struct Link
{
    int table = 0;
    qint64 id = 0;
    qint64 time = 0;
    QString archive; // empty: linked to no chain
    qint64 seq = 0;
    QByteArray hash;
    QByteArray content;
    QByteArray recordsDigest;                // a download's
    QList<QPair<QString, QVariant>> columns; // when asked for
    // A dump whose digest is still to be put into content at blobAt.
    int blobAt = -1;
    QByteArray blob;
};

// The rows of a table with ids in [from, to], by id.
bool readLinks(const QSqlDatabase &db, const QString &engine, int table, qint64 from, qint64 to,
               QVector<Link> *links, QString *error, bool columns = false, bool deferBlobs = false)
{
    const ArchiveChainTable &t = chainTables[table];
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const ServerDeadline deadline(db);
    if (!runArchiveQuery(query, engine, QLatin1String(t.select), {from, to}, error))
        return false;
    const int count = int(qstrlen(t.types));
    while (query.next()) {
        Link link;
        link.table = table;
        link.id = query.value(0).toLongLong();
        link.time = query.value(1).toLongLong();
        link.archive = query.value(2).toString();
        link.seq = query.value(3).toLongLong();
        link.hash = query.value(4).toString().toLatin1();
        for (int i = 0; i < count; ++i) {
            const QVariant value = query.value(contentColumn + i);
            if (deferBlobs && t.types[i] == 'b' && !value.isNull()) {
                link.content += 'b';
                link.blobAt = link.content.size();
                link.content += noLink;
                link.blob = value.toByteArray();
            } else {
                putValue(link.content, t.types[i], value);
            }
            if (!columns)
                continue;
            const QString name = query.record().fieldName(contentColumn + i);
            if (t.types[i] == 'b')
                link.columns << qMakePair(
                    name + QStringLiteral("_sha256"),
                    QVariant(QString::fromLatin1(
                        QCryptographicHash::hash(value.toByteArray(), QCryptographicHash::Sha256)
                            .toHex())));
            else
                link.columns << qMakePair(name, value);
        }
        if (table == int(ChainedEvent::Download))
            link.recordsDigest = query.value(contentColumn + count - 1).toString().toLatin1();
        links->append(link);
    }
    if (query.lastError().isValid()) {
        setError(error, deadline.reason(query.lastError().text()));
        return false;
    }
    return true;
}

bool readAllLinks(const QSqlDatabase &db, const QString &engine, QVector<Link> *links,
                  QString *error, bool deferBlobs = false)
{
    for (int table = 0; table < tableCount; ++table)
        if (!readLinks(db, engine, table, 0, std::numeric_limits<qint64>::max(), links, error,
                       false, deferBlobs))
            return false;
    return true;
}

// The archive's id and its chain's head (place, hash of that link).
bool readHead(const QSqlDatabase &db, const QString &engine, const QString &file, QString *archive,
              qint64 *seq, QByteArray *hash, QString *error)
{
    QSqlQuery query(db);
    if (!runArchiveQuery(query, engine, file, {}, error))
        return false;
    if (!query.next() || query.value(0).toString().isEmpty()) {
        setError(error, QStringLiteral("the archive has no id"));
        return false;
    }
    *archive = query.value(0).toString();
    const QString head = query.value(1).toString();
    *seq = head.section(QLatin1Char(' '), 0, 0).toLongLong();
    *hash = head.section(QLatin1Char(' '), 1, 1).toLatin1();
    return true;
}

using Digests = std::unordered_map<qint64, std::unique_ptr<QCryptographicHash>>;

// The records `select` gives (chain_records, or one download's), each into
// its download's digest when `digests` holds the download; a record of no
// download held is told to `stray`.
bool digestRecords(const QSqlDatabase &db, const QString &engine, const QString &select,
                   const QVariantList &values, Digests &digests, const QSet<qint64> &downloads,
                   qint64 *records, const std::function<void(qint64 download, qint64 time)> &stray,
                   Hashing &hashing, QString *error)
{
    QCryptographicHash *current = nullptr;
    QByteArray bytes;
    constexpr int chunk = 1 << 16;
    qint64 last = -1;
    const auto take = [&](qint64 download, const char *stored, int size, qint64 packed) {
        ++*records;
        if (download != last || bytes.size() >= chunk) {
            if (current && !bytes.isEmpty())
                hashing.add([current, bytes] { current->addData(bytes); });
            bytes = QByteArray();
            bytes.reserve(chunk + 64);
            const auto found = digests.find(download);
            current = found != digests.end() ? found->second.get() : nullptr;
            last = download;
        }
        if (current)
            addRecord(bytes, stored, size, packed);
        else if (!downloads.contains(download))
            stray(download, packed >> 24);
    };
    const auto flush = [&] {
        if (current && !bytes.isEmpty())
            hashing.add([current, bytes] { current->addData(bytes); });
    };
    const SqliteCalls &sqlite = sqliteCalls();
    void *handle = engine == QLatin1String("sqlite") ? sqliteHandle(db) : nullptr;
    if (handle && sqlite.found()) {
        const QByteArray statement = archiveStatements(engine, select).value(0).toUtf8();
        void *rows = nullptr;
        int code = sqlite.prepare(handle, statement.constData(), statement.size(), &rows, nullptr);
        for (int i = 0; code == 0 && i < values.size(); ++i)
            code = sqlite.bindInt64(rows, i + 1, values.at(i).toLongLong());
        constexpr int row = 100, done = 101; // SQLITE_ROW, SQLITE_DONE
        while (code == 0 && (code = sqlite.step(rows)) == row) {
            code = 0;
            take(sqlite.columnInt64(rows, 0), static_cast<const char *>(sqlite.columnBlob(rows, 1)),
                 sqlite.columnBytes(rows, 1), sqlite.columnInt64(rows, 2));
        }
        if (code != done)
            setError(error, QString::fromUtf8(sqlite.errorMessage(handle)));
        sqlite.finalize(rows);
        flush();
        return code == done;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const ServerDeadline deadline(db);
    if (!runArchiveQuery(query, engine, select, values, error))
        return false;
    while (query.next()) {
        const QByteArray stored = query.value(1).toByteArray();
        take(query.value(0).toLongLong(), stored.constData(), stored.size(),
             query.value(2).toLongLong());
    }
    flush();
    if (query.lastError().isValid()) {
        setError(error, deadline.reason(query.lastError().text()));
        return false;
    }
    return true;
}

} // namespace

bool Archive::linkEvent(ChainedEvent kind, const QVariant &id, QString *error)
{
    const int table = int(kind);
    QSqlQuery query(db);
    if (kind == ChainedEvent::Download) {
        Digests digests;
        digests[id.toLongLong()] = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
        qint64 records = 0;
        Hashing hashing;
        const bool read = digestRecords(
            db, engine, QStringLiteral("chain_download_records"), {id}, digests, {}, &records,
            [](qint64, qint64) {}, hashing, error);
        hashing.finish();
        if (!read ||
            !runArchiveQuery(query, engine, QStringLiteral("update_download_records_digest"),
                             {QString::fromLatin1(digests[id.toLongLong()]->result().toHex()), id},
                             error))
            return false;
    }
    QString archive;
    qint64 seq = 0;
    QByteArray previous;
    QVector<Link> links;
    if (!readHead(db, engine, QStringLiteral("select_chain_head"), &archive, &seq, &previous,
                  error) ||
        !readLinks(db, engine, table, id.toLongLong(), id.toLongLong(), &links, error))
        return false;
    if (links.size() != 1) {
        setError(error, QStringLiteral("no event %1 in %2 to link")
                            .arg(id.toLongLong())
                            .arg(QLatin1String(chainTables[table].table)));
        return false;
    }
    const QByteArray hash = linkHash(seq > 0 ? QByteArray::fromHex(previous) : noLink, table,
                                     archive, seq + 1, links.first().content);
    return runArchiveQueryOn(query, engine, QStringLiteral("update_chain"),
                             QLatin1String(chainTables[table].table),
                             {archive, seq + 1, QString::fromLatin1(hash), id}, error) &&
           runArchiveQuery(query, engine, QStringLiteral("update_chain_head"),
                           {QStringLiteral("%1 %2").arg(seq + 1).arg(QLatin1String(hash))}, error);
}

bool Archive::linkEventsHeld(QString *error)
{
    QSqlQuery query(db);
    // A sync names an event of no PC by the PC sending it: the same here, so
    // that the server hashes what the PC hashed.
    for (const ArchiveChainTable &t : chainTables)
        if (!runArchiveQueryOn(query, engine, QStringLiteral("fill_pc"), QLatin1String(t.table),
                               {archivePcName()}, error))
            return false;
    // The records each download brought, all in one pass.
    QVector<Link> downloads;
    if (!readLinks(db, engine, int(ChainedEvent::Download), 0, std::numeric_limits<qint64>::max(),
                   &downloads, error))
        return false;
    Digests digests;
    QSet<qint64> ids;
    for (const Link &d : qAsConst(downloads)) {
        digests[d.id] = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
        ids << d.id;
    }
    qint64 records = 0;
    Hashing hashing;
    const bool read = digestRecords(
        db, engine, QStringLiteral("chain_records"), {}, digests, ids, &records,
        [](qint64, qint64) {}, hashing, error);
    hashing.finish();
    if (!read)
        return false;
    for (const Link &d : qAsConst(downloads))
        if (!runArchiveQuery(query, engine, QStringLiteral("update_download_records_digest"),
                             {QString::fromLatin1(digests[d.id]->result().toHex()), d.id}, error))
            return false;
    // Then every event, oldest first, as the chain's links.
    QVector<Link> links;
    QString archive;
    qint64 seq = 0;
    QByteArray previous;
    if (!readAllLinks(db, engine, &links, error) ||
        !readHead(db, engine, QStringLiteral("select_chain_head"), &archive, &seq, &previous,
                  error))
        return false;
    std::stable_sort(links.begin(), links.end(), [](const Link &a, const Link &b) {
        return a.time != b.time ? a.time < b.time : a.table < b.table;
    });
    QByteArray hash = seq > 0 ? QByteArray::fromHex(previous) : noLink;
    for (const Link &link : qAsConst(links)) {
        const QByteArray linked = linkHash(hash, link.table, archive, ++seq, link.content);
        if (!runArchiveQueryOn(query, engine, QStringLiteral("update_chain"),
                               QLatin1String(chainTables[link.table].table),
                               {archive, seq, QString::fromLatin1(linked), link.id}, error))
            return false;
        hash = QByteArray::fromHex(linked);
    }
    return runArchiveQuery(query, engine, QStringLiteral("update_chain_head"),
                           {seq > 0
                                ? QStringLiteral("%1 %2").arg(seq).arg(QLatin1String(hash.toHex()))
                                : QStringLiteral("0")},
                           error);
}

ArchiveVerifyResult Archive::verifyChains()
{
    ArchiveVerifyResult result;
    if (!isOpen()) {
        result.error = QStringLiteral("no archive");
        return result;
    }
    QString own;
    qint64 headSeq = 0;
    QByteArray headHash;
    QVector<Link> links;
    if (!readHead(db, engine, QStringLiteral("select_chain_state"), &own, &headSeq, &headHash,
                  &result.error) ||
        !readAllLinks(db, engine, &links, &result.error, true))
        return result;
    // The dumps are hashed while the records are read.
    Hashing hashing;
    for (Link &link : links)
        if (link.blobAt >= 0)
            hashing.add([&link] {
                link.content.replace(
                    link.blobAt, noLink.size(),
                    QCryptographicHash::hash(link.blob, QCryptographicHash::Sha256));
                link.blob.clear();
            });
    // The first mismatch by time is the one named; all are counted.
    const auto mismatch = [&](const QString &table, qint64 id, qint64 time, const QString &what) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(time);
        if (result.intact || at < result.at) {
            result.table = table;
            result.id = id;
            result.at = at;
            result.what = what;
        }
        result.intact = false;
        ++result.mismatches;
    };
    const auto mismatchAt = [&](const Link &link, const QString &what) {
        mismatch(QLatin1String(chainTables[link.table].table), link.id, link.time, what);
    };

    // The records of this archive's own downloads against their digests.
    Digests digests;
    QSet<qint64> downloads;
    QHash<QString, QVector<const Link *>> chains;
    for (const Link &link : qAsConst(links)) {
        if (link.table == int(ChainedEvent::Download)) {
            downloads << link.id;
            if (link.archive == own)
                digests[link.id] = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
        }
        if (link.archive.isEmpty() || link.hash.isEmpty())
            mismatchAt(link, QStringLiteral("it is a link of no chain: it was not stored by this "
                                            "program"));
        else
            chains[link.archive] << &link;
    }
    if (!digestRecords(
            db, engine, QStringLiteral("chain_records"), {}, digests, downloads, &result.records,
            [&](qint64 download, qint64 time) {
                mismatch(QStringLiteral("records"), download, time,
                         QStringLiteral("a record of download %1, which the archive does not "
                                        "hold")
                             .arg(download));
            },
            hashing, &result.error))
        return result;
    hashing.finish();
    for (const Link &link : qAsConst(links))
        if (link.table == int(ChainedEvent::Download) && link.archive == own &&
            digests[link.id]->result().toHex() != link.recordsDigest)
            mismatchAt(link, QStringLiteral("its records are not those stored with it (a record "
                                            "changed, added or removed)"));

    // Each chain from its first link, in place order.
    for (auto chain = chains.begin(); chain != chains.end(); ++chain) {
        QVector<const Link *> &list = chain.value();
        std::sort(list.begin(), list.end(),
                  [](const Link *a, const Link *b) { return a->seq < b->seq; });
        const bool isOwn = chain.key() == own;
        // A PC's chain on the server may begin past 1 (archivechain.h).
        qint64 expected = isOwn ? 1 : list.first()->seq;
        QByteArray previous = expected == 1 ? noLink : QByteArray();
        for (const Link *link : qAsConst(list)) {
            if (link->seq < expected) {
                mismatchAt(*link,
                           QStringLiteral("a second link at place %1 of the chain").arg(link->seq));
                continue;
            }
            if (link->seq > expected)
                mismatchAt(*link,
                           link->seq == expected + 1
                               ? QStringLiteral("the event before it (place %1 of the chain) is "
                                                "missing")
                                     .arg(expected)
                               : QStringLiteral("the events before it (places %1 to %2 of the "
                                                "chain) are missing")
                                     .arg(expected)
                                     .arg(link->seq - 1));
            else if (!previous.isEmpty() && linkHash(previous, link->table, chain.key(), link->seq,
                                                     link->content) != link->hash)
                mismatchAt(*link, QStringLiteral("it does not match its hash: it was changed "
                                                 "after it was stored"));
            ++result.events;
            previous = QByteArray::fromHex(link->hash);
            expected = link->seq + 1;
        }
        ++result.chains;
        if (!isOwn)
            continue;
        const Link *last = list.constLast();
        if (headSeq > last->seq)
            mismatchAt(*last, QStringLiteral("the events after it (places %1 to %2 of the "
                                             "chain) are missing")
                                  .arg(last->seq + 1)
                                  .arg(headSeq));
        else if (headSeq < last->seq || headHash != last->hash)
            mismatchAt(*last, QStringLiteral("the archive's chain ends before it (at place %1): "
                                             "it was not stored by this program")
                                  .arg(headSeq));
    }
    if (!chains.contains(own) && headSeq > 0)
        mismatch(QStringLiteral("meta"), 0, 0,
                 QStringLiteral("the archive's %1 events are missing").arg(headSeq));
    result.ok = true;
    return result;
}

bool Archive::chainEvents(const QDateTime &from, const QDateTime &to,
                          QList<ArchiveChainEvent> *events, QString *error)
{
    if (!isOpen()) {
        setError(error, QStringLiteral("no archive"));
        return false;
    }
    QVector<Link> links;
    for (int table = 0; table < tableCount; ++table)
        if (!readLinks(db, engine, table, 0, std::numeric_limits<qint64>::max(), &links, error,
                       true))
            return false;
    std::stable_sort(links.begin(), links.end(),
                     [](const Link &a, const Link &b) { return a.time < b.time; });
    for (const Link &link : qAsConst(links))
        if (link.time >= from.toSecsSinceEpoch() && link.time < to.toSecsSinceEpoch())
            events->append({QLatin1String(chainTables[link.table].table), link.id,
                            QDateTime::fromSecsSinceEpoch(link.time), link.archive, link.seq,
                            QString::fromLatin1(link.hash), link.columns});
    return true;
}
