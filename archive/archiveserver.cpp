#include "archiveserver.h"

#include "archive.h"
#include "archivesql.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// Deadlocks and serialisation failures (the driver puts the SQLSTATE in
// brackets after the message): the server undid the transaction, which may
// simply be run again.
bool mayRetry(const QString &error)
{
    return error.contains(QLatin1String("(40P01)")) || error.contains(QLatin1String("(40001)"));
}

// The rows of a statement, each as its values; false, with the reason, on an
// error.
bool selectRows(const QSqlDatabase &db, const QString &engine, const QString &name,
                const QVariantList &values, QList<QVariantList> *rows, QString *error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!runArchiveQuery(query, engine, name, values, error))
        return false;
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i)
            row << query.value(i);
        *rows << row;
    }
    return true;
}

// The id of the row an INSERT … DO NOTHING added (the server returns it, SQLite
// tells it after); 0 when the row was there already.
qint64 addedRow(QSqlQuery &query)
{
    if (query.isSelect())
        return query.next() ? query.value(0).toLongLong() : 0;
    return query.numRowsAffected() > 0 ? query.lastInsertId().toLongLong() : 0;
}

} // namespace

// ---- Synchronising ----

ArchiveSyncResult synchronizeArchive(Archive &local, Archive &server)
{
    ArchiveSyncResult result;
    // The target is the lab's server, or another archive file that this one
    // is merged into.
    if (!local.isOpen() || !server.isOpen() || local.isServer() || &local == &server) {
        result.error = QStringLiteral("no archive or no server to synchronise");
        return result;
    }
    QString reason;
    // Keeps how far the server has taken this PC's rows; set below.
    std::function<void()> keepProgress = [] {};
    const auto stop = [&](const QString &why) {
        keepProgress();
        result.error = why;
        return result;
    };
    const QString &le = local.engine;
    const QString &se = server.engine;

    // The server's own id: a server made anew is sent everything again.
    QSqlQuery meta(server.db);
    if (!runArchiveQuery(meta, se, QStringLiteral("select_archive_id"), {}, &reason) ||
        !meta.next())
        return stop(QStringLiteral("the server has no archive id: %1").arg(reason));
    const QString serverId = meta.value(0).toString();
    meta.finish();

    // How far this PC got with it before.
    qint64 done[3] = {0, 0, 0}; // downloads, reads, changes
    {
        QSqlQuery state(local.db);
        if (!runArchiveQuery(state, le, QStringLiteral("select_sync_state"), {serverId}, &reason))
            return stop(reason);
        if (state.next())
            for (int i = 0; i < 3; ++i)
                done[i] = state.value(i).toLongLong();
    }
    // Written at most once a second (and at the end, or when stopping): a
    // commit on the PC for each small download would cost more than sending
    // it. What the server took but the PC did not note is sent again next
    // time, and taken once.
    qint64 kept[3] = {done[0], done[1], done[2]};
    QElapsedTimer sinceKept;
    sinceKept.start();
    const auto remember = [&](QString *why, bool soon = false) {
        if (std::equal(done, done + 3, kept) || (soon && sinceKept.elapsed() < 1000))
            return true;
        if (!local.beginWrite(why))
            return false;
        QSqlQuery state(local.db);
        if (runArchiveQuery(state, le, QStringLiteral("update_sync_state"),
                            {serverId, done[0], done[1], done[2]}, why) &&
            local.commit(why)) {
            std::copy(done, done + 3, kept);
            sinceKept.restart();
            return true;
        }
        local.rollback();
        return false;
    };
    keepProgress = [&] { remember(nullptr); };
    // One server transaction, run again when the server undid it for a
    // deadlock with another PC's.
    const auto onServer = [&](const std::function<bool(QString *)> &work, QString *why) {
        for (int attempt = 0;; ++attempt) {
            if (!server.beginWrite(why))
                return false;
            if (work(why) && server.commit(why))
                return true;
            server.rollback();
            if (attempt >= 4 || !mayRetry(*why))
                return false;
        }
    };
    const QString thisPc = archivePcName();
    const auto pcOf = [&](const QVariant &pc) {
        return pc.isNull() || pc.toString().isEmpty() ? thisPc : pc.toString();
    };

    // Downloads, each with the records it brought to this PC, one
    // transaction each, in the PC's order.
    QList<QVariantList> ids;
    if (!selectRows(local.db, le, QStringLiteral("select_downloads_after"), {done[0]}, &ids,
                    &reason))
        return stop(reason);
    for (const QVariantList &idRow : ids) {
        const qint64 id = idRow.at(0).toLongLong();
        QList<QVariantList> rows, recordRows;
        if (!selectRows(local.db, le, QStringLiteral("select_download_row"), {id}, &rows,
                        &reason) ||
            rows.size() != 1 ||
            !selectRows(local.db, le, QStringLiteral("select_download_records"), {id}, &recordRows,
                        &reason))
            return stop(reason);
        const QVariantList &values = rows.first();
        QVector<ArchiveRecordRow> records;
        records.reserve(recordRows.size());
        for (const QVariantList &r : recordRows)
            records << ArchiveRecordRow{r.at(0).toByteArray(), r.at(1).toInt(),
                                        r.at(2).toLongLong()};
        // Every PC inserts in key order: two PCs sending the same records
        // wait for each other instead of deadlocking.
        std::sort(records.begin(), records.end(),
                  [](const ArchiveRecordRow &a, const ArchiveRecordRow &b) {
                      const int c = std::memcmp(a.stored.constData(), b.stored.constData(),
                                                size_t(qMin(a.stored.size(), b.stored.size())));
                      if (c != 0)
                          return c < 0;
                      if (a.stored.size() != b.stored.size())
                          return a.stored.size() < b.stored.size();
                      return a.copy < b.copy;
                  });
        bool downloadAdded = false;
        int recordsAdded = 0;
        const bool ok = onServer(
            [&](QString *why) {
                downloadAdded = false;
                recordsAdded = 0;
                const qint64 pager = server.pagerId(values.at(0).toString(), true, why);
                if (!pager)
                    return false;
                QSqlQuery insert(server.db);
                // pager, origin, downloaded_at, zone, outcome, pages, records,
                // stored_at, digest, dump_size, dump, pc
                if (!runArchiveQuery(insert, se, QStringLiteral("sync_insert_download"),
                                     {pager, values.at(1), values.at(2), values.at(3), values.at(4),
                                      values.at(5), values.at(6), values.at(8), values.at(9),
                                      values.at(10), values.at(11), pcOf(values.at(12))},
                                     why))
                    return false;
                qint64 download = addedRow(insert);
                downloadAdded = download != 0;
                if (!downloadAdded) {
                    insert.finish();
                    if (!runArchiveQuery(insert, se, QStringLiteral("select_download_by_digest"),
                                         {pager, values.at(9)}, why) ||
                        !insert.next())
                        return false;
                    download = insert.value(0).toLongLong();
                }
                insert.finish();
                if (!server.insertRecords(pager, download, records, &recordsAdded, why))
                    return false;
                return !downloadAdded ||
                       runArchiveQuery(insert, se, QStringLiteral("update_download_new_records"),
                                       {recordsAdded, download}, why);
            },
            &reason);
        if (!ok)
            return stop(
                QStringLiteral("the server did not take download %1: %2").arg(id).arg(reason));
        result.downloads += downloadAdded ? 1 : 0;
        result.records += recordsAdded;
        done[0] = id;
        if (!remember(&reason, true))
            return stop(reason);
    }

    // Parameter reads and setting changes, a batch a transaction.
    constexpr int batch = 500;
    for (;;) {
        QList<QVariantList> reads;
        if (!selectRows(local.db, le, QStringLiteral("select_reads_after"), {done[1], batch},
                        &reads, &reason))
            return stop(reason);
        if (reads.isEmpty())
            break;
        QList<QList<QVariantList>> readValues;
        for (const QVariantList &read : reads) {
            readValues << QList<QVariantList>();
            if (!selectRows(local.db, le, QStringLiteral("select_read_values"), {read.at(0)},
                            &readValues.last(), &reason))
                return stop(reason);
        }
        int added = 0;
        const bool ok = onServer(
            [&](QString *why) {
                added = 0;
                for (int k = 0; k < reads.size(); ++k) {
                    const QVariantList &read = reads.at(k);
                    const qint64 pager = server.pagerId(read.at(1).toString(), true, why);
                    QSqlQuery insert(server.db);
                    if (!pager ||
                        !runArchiveQuery(
                            insert, se, QStringLiteral("sync_insert_read"),
                            {pager, read.at(2), read.at(3), pcOf(read.at(4)), read.at(5)}, why))
                        return false;
                    const qint64 readId = addedRow(insert);
                    if (!readId)
                        continue; // the server holds it already
                    insert.finish();
                    ++added;
                    for (const auto &value : readValues.at(k))
                        if (!runArchiveQuery(insert, se, QStringLiteral("insert_read_value"),
                                             {readId, value.at(0), value.at(1)}, why))
                            return false;
                }
                return true;
            },
            &reason);
        if (!ok)
            return stop(
                QStringLiteral("the server did not take the parameter reads: %1").arg(reason));
        result.reads += added;
        done[1] = reads.last().at(0).toLongLong();
        if (!remember(&reason))
            return stop(reason);
    }
    for (;;) {
        QList<QVariantList> changes;
        if (!selectRows(local.db, le, QStringLiteral("select_changes_after"), {done[2], batch},
                        &changes, &reason))
            return stop(reason);
        if (changes.isEmpty())
            break;
        int added = 0;
        const bool ok = onServer(
            [&](QString *why) {
                added = 0;
                for (const QVariantList &c : changes) {
                    const qint64 pager = server.pagerId(c.at(1).toString(), true, why);
                    QSqlQuery insert(server.db);
                    if (!pager || !runArchiveQuery(insert, se, QStringLiteral("sync_insert_change"),
                                                   {pager, c.at(2), c.at(3), c.at(4), c.at(5),
                                                    c.at(6), c.at(7), pcOf(c.at(8)), c.at(9)},
                                                   why))
                        return false;
                    added += insert.numRowsAffected() > 0 ? 1 : 0;
                }
                return true;
            },
            &reason);
        if (!ok)
            return stop(
                QStringLiteral("the server did not take the setting changes: %1").arg(reason));
        result.changes += added;
        done[2] = changes.last().at(0).toLongLong();
        if (!remember(&reason))
            return stop(reason);
    }
    if (!remember(&reason))
        return stop(reason);
    result.ok = true;
    return result;
}

ArchiveSyncResult synchronizeArchive(Archive &local, const ArchiveServer &server)
{
    Archive remote;
    ArchiveSyncResult result;
    if (!remote.openServer(server, &result.error)) {
        result.problem = remote.openProblem();
        result.detail = remote.openDetail();
        result.needsPassword = result.problem == Archive::Problem::NeedsPassword ||
                               result.problem == Archive::Problem::PasswordRefused;
        result.unreachable =
            result.needsPassword || remote.openProblem() == Archive::Problem::Unreachable;
        return result;
    }
    result = synchronizeArchive(local, remote);
    result.connected = true;
    return result;
}

ArchiveSyncResult synchronizeArchive(const QString &localFile, const ArchiveServer &server)
{
    ArchiveSyncResult result;
    Archive local;
    if (!local.open(localFile, &result.error))
        return result;
    return synchronizeArchive(local, server);
}
