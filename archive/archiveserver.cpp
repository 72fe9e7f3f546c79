#include "archiveserver.h"

#include "archive.h"
#include "archivesql.h"
#include "serverdeadline.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
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

// The SQLSTATE of a server's error (the driver puts it in brackets after
// the message); empty without one.
QString sqlState(const QString &error)
{
    static const QRegularExpression state(QStringLiteral("\\(([0-9A-Z]{5})\\)"));
    QString code;
    for (auto match = state.globalMatch(error); match.hasNext();)
        code = match.next().captured(1);
    return code;
}

// Whether the server refused what it was sent (a value it cannot keep, a
// key or check it breaks, a limit such as the size of an index row, a
// trigger's objection, a statement cut short by a NUL in a value), as
// opposed to failing itself (gone, stalled, timed out, short of resources,
// no rights): the first belongs to the row, and the sync goes on without
// it; the second stops the sync.
bool serverRefusedRow(const QString &error)
{
    // The archive's own last guard refuses a serial number that cannot be
    // one (kept by an earlier version) before the server sees it: that too
    // belongs to the row.
    if (error.startsWith(QLatin1String("not stored: ")))
        return true;
    const QString code = sqlState(error);
    return code.startsWith(QLatin1String("22")) || code.startsWith(QLatin1String("23")) ||
           code.startsWith(QLatin1String("54")) || code.startsWith(QLatin1String("P0")) ||
           code == QLatin1String("42601");
}

// The server's words for a refusal: the first line of its message, and its
// code.
QString refusalText(const QString &error)
{
    QString text = error.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (text.startsWith(QLatin1String("ERROR:")))
        text = text.mid(6).trimmed();
    const QString code = sqlState(error);
    return code.isEmpty() || text.contains(QStringLiteral("(%1)").arg(code))
               ? text.simplified()
               : QStringLiteral("%1 (%2)").arg(text.simplified(), code);
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
        if (!result.roleNeeded.isEmpty() || isRightsRefusal(why)) {
            result.noRights = true;
            if (result.roleNeeded.isEmpty())
                result.roleNeeded = QLatin1String(serverrole::technicians);
        }
        result.stalled = serverDeadlinePassed(server.db);
        return result;
    };
    const QString &le = local.engine;
    const QString &se = server.engine;
    QElapsedTimer clock;
    clock.start();
    const qint64 syncDeadline = serverSyncDeadlineMs();
    const auto outOfTime = [&] { return clock.elapsed() > syncDeadline; };
    const auto stopForTime = [&] {
        result.stalled = true;
        keepProgress();
        result.error = QStringLiteral("the sync took longer than %1 (this program's time limit)")
                           .arg(serverDeadlineText(syncDeadline));
        return result;
    };

    // The server's own id: a server made anew is sent everything again.
    QSqlQuery meta(server.db);
    if (!runArchiveQuery(meta, se, QStringLiteral("select_archive_id"), {}, &reason) ||
        !meta.next())
        return stop(QStringLiteral("the server has no archive id: %1").arg(reason));
    const QString serverId = meta.value(0).toString();
    meta.finish();

    // A user the server lets only read is refused before anything is sent.
    Archive::Rights rights;
    if (!server.rights(&rights, &reason))
        return stop(reason);
    if (!rights.store) {
        result.noRights = true;
        result.roleNeeded = QLatin1String(serverrole::technicians);
        result.error = QStringLiteral("the server lets this user only read (storing needs the "
                                      "role %1); nothing was sent")
                           .arg(result.roleNeeded);
        return result;
    }

    // How far this PC got with it before, and what it refused then.
    constexpr int kindCount = 6;
    constexpr int wearerKind = 4;
    constexpr int signatureKind = 5;
    // Downloads, reads, changes and calibrations in sync_state; wearer
    // events and signatures in sync_progress.
    qint64 done[kindCount] = {0, 0, 0, 0, 0, 0};
    static const QString kinds[kindCount] = {
        QStringLiteral("download"),    QStringLiteral("read"),   QStringLiteral("change"),
        QStringLiteral("calibration"), QStringLiteral("wearer"), QStringLiteral("signature")};
    QSet<qint64> refusedBefore[kindCount];
    {
        QSqlQuery state(local.db);
        if (!runArchiveQuery(state, le, QStringLiteral("select_sync_state"), {serverId}, &reason))
            return stop(reason);
        if (state.next())
            for (int i = 0; i < wearerKind; ++i)
                done[i] = state.value(i).toLongLong();
        state.finish();
        for (const int kind : {wearerKind, signatureKind}) {
            if (!runArchiveQuery(state, le, QStringLiteral("select_sync_progress"),
                                 {serverId, kinds[kind]}, &reason))
                return stop(reason);
            if (state.next())
                done[kind] = state.value(0).toLongLong();
            state.finish();
        }
        QList<QVariantList> refusedRows;
        if (!runArchiveScript(local.db, le, QStringLiteral("sync_refused_table"), &reason) ||
            !selectRows(local.db, le, QStringLiteral("select_sync_refused"), {serverId},
                        &refusedRows, &reason))
            return stop(reason);
        for (const QVariantList &row : refusedRows)
            for (int i = 0; i < kindCount; ++i)
                if (row.at(0).toString() == kinds[i])
                    refusedBefore[i] << row.at(1).toLongLong();
    }
    // What this sync learnt about refused rows, not yet noted on the PC.
    QSet<qint64> refusedNow[kindCount], takenNow[kindCount];
    const auto taken = [&](int kind, qint64 id) {
        if (refusedBefore[kind].remove(id))
            takenNow[kind] << id;
        done[kind] = qMax(done[kind], id);
    };
    const auto refuse = [&](int kind, qint64 id, const QString &serial, const QVariant &at,
                            const QString &why) {
        if (!refusedBefore[kind].contains(id))
            refusedNow[kind] << id;
        done[kind] = qMax(done[kind], id);
        static const QString names[kindCount] = {
            QStringLiteral("download"),       QStringLiteral("parameter read"),
            QStringLiteral("setting change"), QStringLiteral("calibration"),
            QStringLiteral("wearer event"),   QStringLiteral("signature")};
        result.refused << ArchiveSyncRefusal{
            names[kind], id, serial,
            at.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(at.toLongLong()),
            refusalText(why)};
    };
    // Written at most once a second (and at the end, or when stopping): a
    // commit on the PC for each small download would cost more than sending
    // it. What the server took but the PC did not note is sent again next
    // time, and taken once. A refused row is noted with the progress past it.
    qint64 kept[kindCount];
    std::copy(done, done + kindCount, kept);
    QElapsedTimer sinceKept;
    sinceKept.start();
    const auto remember = [&](QString *why, bool soon = false) {
        const bool refusals = std::any_of(refusedNow, refusedNow + kindCount,
                                          [](const QSet<qint64> &s) { return !s.isEmpty(); }) ||
                              std::any_of(takenNow, takenNow + kindCount,
                                          [](const QSet<qint64> &s) { return !s.isEmpty(); });
        if ((std::equal(done, done + kindCount, kept) && !refusals) ||
            (soon && sinceKept.elapsed() < 1000))
            return true;
        if (!local.beginWrite(why))
            return false;
        QSqlQuery state(local.db);
        bool ok = runArchiveQuery(state, le, QStringLiteral("update_sync_state"),
                                  {serverId, done[0], done[1], done[2], done[3]}, why) &&
                  runArchiveQuery(state, le, QStringLiteral("update_sync_progress"),
                                  {serverId, kinds[wearerKind], done[wearerKind]}, why) &&
                  runArchiveQuery(state, le, QStringLiteral("update_sync_progress"),
                                  {serverId, kinds[signatureKind], done[signatureKind]}, why);
        for (int i = 0; i < kindCount && ok; ++i) {
            for (qint64 id : qAsConst(refusedNow[i]))
                ok = ok && runArchiveQuery(state, le, QStringLiteral("insert_sync_refused"),
                                           {serverId, kinds[i], id}, why);
            for (qint64 id : qAsConst(takenNow[i]))
                ok = ok && runArchiveQuery(state, le, QStringLiteral("delete_sync_refused"),
                                           {serverId, kinds[i], id}, why);
        }
        if (ok && local.commit(why)) {
            std::copy(done, done + kindCount, kept);
            for (int i = 0; i < kindCount; ++i) {
                refusedBefore[i] += refusedNow[i];
                refusedNow[i].clear();
                takenNow[i].clear();
            }
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
    // transaction each, in the PC's order: first those refused before.
    QList<qint64> ids = refusedBefore[0].values();
    std::sort(ids.begin(), ids.end());
    {
        QList<QVariantList> after;
        if (!selectRows(local.db, le, QStringLiteral("select_downloads_after"), {done[0]}, &after,
                        &reason))
            return stop(reason);
        for (const QVariantList &idRow : after)
            ids << idRow.at(0).toLongLong();
    }
    for (const qint64 id : qAsConst(ids)) {
        if (outOfTime())
            return stopForTime();
        QList<QVariantList> rows, recordRows;
        if (!selectRows(local.db, le, QStringLiteral("select_download_row"), {id}, &rows,
                        &reason) ||
            !selectRows(local.db, le, QStringLiteral("select_download_records"), {id}, &recordRows,
                        &reason))
            return stop(reason);
        if (rows.size() != 1) { // gone from the PC's archive: nothing to send
            taken(0, id);
            continue;
        }
        const QVariantList &values = rows.first();
        QVector<ArchiveRecordRow> records;
        records.reserve(recordRows.size());
        for (const QVariantList &r : recordRows)
            records << ArchiveRecordRow{r.at(0).toByteArray(), r.at(1).toInt(),
                                        r.at(2).toLongLong(), std::uint8_t(r.at(3).toInt())};
        // Every PC inserts in key order: two PCs sending the same records
        // wait for each other instead of deadlocking, and the rows land at
        // the end of the server's trees.
        sortArchiveRecordRows(records);
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
                // stored_at, digest, dump_size, dump, pc, overdue_since,
                // clock_offset, review, records_digest, and its link as it is
                if (!runArchiveQuery(insert, se, QStringLiteral("sync_insert_download"),
                                     {pager, values.at(1), values.at(2), values.at(3), values.at(4),
                                      values.at(5), values.at(6), values.at(8), values.at(9),
                                      values.at(10), values.at(11), pcOf(values.at(12)),
                                      values.at(13), values.at(14), values.at(15), values.at(16),
                                      values.at(17), values.at(18), values.at(19)},
                                     why))
                    return false;
                qint64 download = addedRow(insert);
                downloadAdded = download != 0;
                if (!downloadAdded) {
                    insert.finish();
                    if (!runArchiveQuery(insert, se, QStringLiteral("select_download_in_chain"),
                                         {pager, values.at(9), values.at(17)}, why) ||
                        !insert.next())
                        return false;
                    download = insert.value(0).toLongLong();
                }
                insert.finish();
                if (!server.insertRecords(pager, download, records, &recordsAdded, why) ||
                    (recordsAdded > 0 && !server.refreshHours(pager, records, why)))
                    return false;
                // The download's totals count what it brought first, also
                // when another PC's copy of it was there before.
                return (!downloadAdded && recordsAdded == 0) ||
                       runArchiveQuery(insert, se, QStringLiteral("update_download_new_records"),
                                       {recordsAdded, download}, why);
            },
            &reason);
        if (ok) {
            result.downloads += downloadAdded ? 1 : 0;
            result.records += recordsAdded;
            taken(0, id);
        } else if (serverRefusedRow(reason)) {
            refuse(0, id, values.at(0).toString(),
                   values.at(2).isNull() ? values.at(8) : values.at(2), reason);
        } else {
            return stop(
                QStringLiteral("the server did not take download %1: %2").arg(id).arg(reason));
        }
        if (!remember(&reason, true))
            return stop(reason);
    }

    // Parameter reads and setting changes, a batch a transaction; when the
    // server refuses a batch, each of its rows alone, to find the one. Rows
    // are (id, serial, time, ...).
    using SendRow = std::function<bool(const QVariantList &, int *added, QString *why)>;
    // How many rows the server did not hold; -1: it failed, -2: it refused.
    const auto sendBatch = [&](int kind, const QList<QVariantList> &rows, const SendRow &send) {
        int added = 0;
        if (!onServer(
                [&](QString *why) {
                    added = 0;
                    for (const QVariantList &row : rows)
                        if (!send(row, &added, why))
                            return false;
                    return true;
                },
                &reason))
            return serverRefusedRow(reason) ? -2 : -1;
        for (const QVariantList &row : rows)
            taken(kind, row.at(0).toLongLong());
        return added;
    };
    const auto sendRows = [&](int kind, const QList<QVariantList> &rows, const SendRow &send) {
        int added = sendBatch(kind, rows, send);
        if (added != -2)
            return added;
        added = 0;
        for (const QVariantList &row : rows) {
            const int one = sendBatch(kind, {row}, send);
            if (one == -1)
                return -1;
            if (one == -2)
                refuse(kind, row.at(0).toLongLong(), row.at(1).toString(), row.at(2), reason);
            else
                added += one;
        }
        return added;
    };
    // Sends the rows of `kind` (those refused before, then those after the
    // last one taken) as `select` gives them (after an id, at most n);
    // `prepare` reads what else a batch needs. False, with the reason in
    // `reason`, when the sync must stop.
    bool timeUp = false;
    const auto sendAll = [&](int kind, const QString &select,
                             const std::function<bool(const QList<QVariantList> &)> &prepare,
                             const SendRow &send, int *count, const QString &what) {
        constexpr int batch = 500;
        QList<qint64> again = refusedBefore[kind].values();
        std::sort(again.begin(), again.end());
        QList<QVariantList> rows;
        for (const qint64 id : qAsConst(again)) {
            QList<QVariantList> row;
            if (!selectRows(local.db, le, select, {id - 1, 1}, &row, &reason))
                return false;
            if (row.size() == 1 && row.first().at(0).toLongLong() == id)
                rows << row.first();
            else
                taken(kind, id); // gone from the PC's archive: nothing to send
        }
        for (bool first = true;; first = false) {
            if (outOfTime()) {
                timeUp = true;
                return false;
            }
            if (!first && !selectRows(local.db, le, select, {done[kind], batch}, &rows, &reason))
                return false;
            if (rows.isEmpty() && !first)
                return true;
            if (!rows.isEmpty()) {
                if (!prepare(rows))
                    return false;
                const int added = sendRows(kind, rows, send);
                if (added < 0) {
                    reason = QStringLiteral("the server did not take the %1: %2").arg(what, reason);
                    return false;
                }
                *count += added;
                if (!remember(&reason))
                    return false;
            }
            rows.clear();
        }
    };

    QHash<qint64, QList<QVariantList>> readValues;
    const auto readValuesOf = [&](const QList<QVariantList> &reads) {
        readValues.clear();
        for (const QVariantList &read : reads)
            if (!selectRows(local.db, le, QStringLiteral("select_read_values"), {read.at(0)},
                            &readValues[read.at(0).toLongLong()], &reason))
                return false;
        return true;
    };
    const SendRow sendRead = [&](const QVariantList &read, int *added, QString *why) {
        // id, serial, read_at, os_user, pc, uid, clock_offset, its link
        const qint64 pager = server.pagerId(read.at(1).toString(), true, why);
        QSqlQuery insert(server.db);
        if (!pager || !runArchiveQuery(insert, se, QStringLiteral("sync_insert_read"),
                                       {pager, read.at(2), read.at(3), pcOf(read.at(4)), read.at(5),
                                        read.at(6), read.at(7), read.at(8), read.at(9)},
                                       why))
            return false;
        const qint64 readId = addedRow(insert);
        if (!readId)
            return true; // the server holds it already
        insert.finish();
        ++*added;
        for (const auto &value : readValues.value(read.at(0).toLongLong()))
            if (!runArchiveQuery(insert, se, QStringLiteral("insert_read_value"),
                                 {readId, value.at(0), value.at(1)}, why))
                return false;
        return true;
    };
    const SendRow sendChange = [&](const QVariantList &c, int *added, QString *why) {
        // id, serial, changed_at, os_user, setting, value_before, value_sent,
        // outcome, pc, uid, clock_offset, its link
        const qint64 pager = server.pagerId(c.at(1).toString(), true, why);
        QSqlQuery insert(server.db);
        if (!pager ||
            !runArchiveQuery(insert, se, QStringLiteral("sync_insert_change"),
                             {pager, c.at(2), c.at(3), c.at(4), c.at(5), c.at(6), c.at(7),
                              pcOf(c.at(8)), c.at(9), c.at(10), c.at(11), c.at(12), c.at(13)},
                             why))
            return false;
        *added += insert.numRowsAffected() > 0 ? 1 : 0;
        return true;
    };
    const SendRow sendWearerEvent = [&](const QVariantList &e, int *added, QString *why) {
        // id, serial (a give's only), entered_at, uid, kind, wearer, name, at,
        // assignment, os_user, pc, its link
        const qint64 pager = e.at(1).isNull() ? 0 : server.pagerId(e.at(1).toString(), true, why);
        if (!e.at(1).isNull() && !pager)
            return false;
        QSqlQuery insert(server.db);
        if (!runArchiveQuery(insert, se, QStringLiteral("sync_insert_wearer_event"),
                             {e.at(3), e.at(4), e.at(5), e.at(6),
                              pager ? QVariant(pager) : QVariant(QVariant::LongLong), e.at(7),
                              e.at(8), e.at(2), e.at(9), pcOf(e.at(10)), e.at(11), e.at(12),
                              e.at(13)},
                             why))
            return false;
        *added += insert.numRowsAffected() > 0 ? 1 : 0;
        return true;
    };
    const SendRow sendCalibration = [&](const QVariantList &c, int *added, QString *why) {
        // id, serial, entered_at, calibrated_on, certificate, passed, note,
        // interval_months, os_user, pc, uid, its link
        const qint64 pager = server.pagerId(c.at(1).toString(), true, why);
        QSqlQuery insert(server.db);
        if (!pager ||
            !runArchiveQuery(insert, se, QStringLiteral("sync_insert_calibration"),
                             {pager, c.at(3), c.at(4), c.at(5), c.at(6), c.at(7), c.at(2), c.at(8),
                              pcOf(c.at(9)), c.at(10), c.at(11), c.at(12), c.at(13)},
                             why))
            return false;
        *added += insert.numRowsAffected() > 0 ? 1 : 0;
        return true;
    };
    const SendRow sendSignature = [&](const QVariantList &g, int *added, QString *why) {
        // id, serial, signed_at, uid, download (digest), signer, meaning,
        // note, entered_at, os_user, pc, its link
        const qint64 pager = server.pagerId(g.at(1).toString(), true, why);
        QSqlQuery insert(server.db);
        if (!pager ||
            !runArchiveQuery(insert, se, QStringLiteral("sync_insert_signature"),
                             {g.at(3), pager, g.at(4), g.at(5), g.at(2), g.at(6), g.at(7), g.at(8),
                              g.at(9), pcOf(g.at(10)), g.at(11), g.at(12), g.at(13)},
                             why))
            return false;
        *added += insert.numRowsAffected() > 0 ? 1 : 0;
        return true;
    };
    const auto nothingToPrepare = [](const QList<QVariantList> &) { return true; };
    if (!sendAll(1, QStringLiteral("select_reads_after"), readValuesOf, sendRead, &result.reads,
                 QStringLiteral("parameter reads")) ||
        !sendAll(2, QStringLiteral("select_changes_after"), nothingToPrepare, sendChange,
                 &result.changes, QStringLiteral("setting changes")) ||
        !sendAll(3, QStringLiteral("select_calibrations_after"), nothingToPrepare, sendCalibration,
                 &result.calibrations, QStringLiteral("calibrations")) ||
        !sendAll(wearerKind, QStringLiteral("select_wearer_events_after"), nothingToPrepare,
                 sendWearerEvent, &result.wearerEvents, QStringLiteral("wearer events")))
        return timeUp ? stopForTime() : stop(reason);
    // A user who may not sign keeps this PC's signatures here, unsent.
    QList<QVariantList> unsent;
    if (!rights.sign) {
        if (!selectRows(local.db, le, QStringLiteral("select_signatures_after"),
                        {done[signatureKind], 1}, &unsent, &reason))
            return stop(reason);
        if (!unsent.isEmpty() || !refusedBefore[signatureKind].isEmpty()) {
            result.roleNeeded = QLatin1String(serverrole::reviewers);
            return stop(QStringLiteral("the server does not let this user sign (the role %1 "
                                       "does): this PC's signatures were not sent")
                            .arg(result.roleNeeded));
        }
    } else if (!sendAll(signatureKind, QStringLiteral("select_signatures_after"), nothingToPrepare,
                        sendSignature, &result.signatures, QStringLiteral("signatures"))) {
        return timeUp ? stopForTime() : stop(reason);
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
