// The trail: every event of the archive is a link of a hash chain, so that
// an event changed, removed or slipped in afterwards (with sqlite3 or psql)
// is found by recomputing the chains.
//
// Contract:
//  - The events: downloads, parameter reads, setting changes, calibrations,
//    wearer events and signatures (archivechain.cpp lists their tables).
//  - Each archive (its meta archive_id) has one chain. An event stored there
//    becomes its next link in the event's own transaction: the chain's id
//    (chain_archive), its place (chain_seq: 1, 2, ...) and its hash
//    (chain_hash, SHA-256 in lower-case hex). A sync sends the links with the
//    events, so that the server holds each PC's chain as it was made, and
//    checks it per archive. Nothing of an event is written after it is
//    linked; a correction is a new event naming the one it corrects.
//  - The hash of link n is SHA-256 over, in this order:
//      the 32 raw bytes of link n-1's hash (32 zero bytes for link 1),
//      the text "dr7326g-event", the table's name, the chain's id, n,
//      then the event's content columns as its table's entry lists them,
//    each value encoded as one type byte and its bytes: NULL as 'n';
//    an integer as 'i' and 8 bytes big-endian; text as 't', its UTF-8
//    length as 4 bytes big-endian and its UTF-8 bytes; bytes (a dump) as
//    'b' and their SHA-256 (32 bytes).
//  - A download's content holds the digest of the records it brought
//    (records_digest): SHA-256 over each such record in key order (time,
//    stored bytes, copy), as its stored bytes' length (4 bytes), the bytes,
//    and time * 2^24 + copy * 2^8 + flags (8 bytes; time in seconds), all
//    big-endian. Its dump is in its content by the dump's own SHA-256.
//  - Left out of the content, as bookkeeping that is written after an
//    event: a download's new_records and new_alarms (a sync adds to them
//    when another PC's copy brought records first), the sync state, a
//    record's dose rate (a column derived from its bytes).
//  - The archive keeps its chain's head ("seq hash" in meta chain_head), so
//    that events removed from the end are found as well.
//  - The records of a download are checked against its digest where the
//    download was stored, not where it was copied to: on the server, and in
//    a file an earlier archive was merged into, a record another copy of
//    the same records brought first is kept once, with that other download.
//    There the dump, from which the records are made, is what is checked.
//  - A server keeps the links of a PC's chain from the first event it was
//    sent after both were upgraded; the first link it holds of such a chain
//    is taken as it is. Events the server held before its upgrade form its
//    own chain.
#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// The event tables in the chain: one entry each (archivechain.cpp).
struct ArchiveChainTable
{
    const char *table;  // the table (its rows have id, pc and the chain columns)
    const char *select; // its SQL file: id, time, chain_archive, chain_seq, chain_hash, content
    const char *types;  // of the content columns: i integer, t text, b bytes
};
enum class ChainedEvent {
    Download,
    ParameterRead,
    SettingChange,
    Calibration,
    WearerEvent,
    Signature
};

// An event as a link of its chain, with its content by column (a dump
// given by its SHA-256, as "dump_sha256").
struct ArchiveChainEvent
{
    QString table;
    qint64 id = 0;
    QDateTime at;
    QString archive;
    qint64 seq = 0;
    QString hash;
    QList<QPair<QString, QVariant>> content;
};

// What `archive verify` found.
struct ArchiveVerifyResult
{
    bool ok = false; // the chains could be read (an error otherwise)
    QString error;
    qint64 events = 0;  // links checked
    qint64 records = 0; // records checked against their downloads' digests
    int chains = 0;     // archives whose chains were checked
    // The first row that does not match (by time), when one does not.
    bool intact = true;
    QString table;
    qint64 id = 0;
    QDateTime at;
    QString what;
    int mismatches = 0;
};
