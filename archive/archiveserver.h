// The lab's archive server (PostgreSQL) and the synchronisation of a PC's
// archive to it.
//
// The server is named by a libpq connection URI,
//   postgresql://user@host:5432/dbname?sslmode=require
// Parts left out take libpq's defaults (PGHOST, PGPORT, PGUSER, PGDATABASE,
// the local socket). The password is never stored by this program nor taken
// from a URI: libpq finds it in ~/.pgpass or PGPASSWORD, or the window asks
// for it and keeps it in memory; uri() never carries it.
//
// Synchronising sends what the PC's archive holds that the server lacks:
// downloads with their dumps and records, parameter reads, setting changes,
// wearer events (wearers entered, pagers given and returned), calibrations
// and signatures of downloads, in the PC's order. The server keeps each record once by its
// identity (serial number, stored bytes, copy), each download once by its
// dump's digest, each read, change and calibration once by the id it was given on its PC,
// with unique keys and INSERT … ON CONFLICT DO NOTHING, so that running it
// twice, or from several PCs at once, leaves each row once. The PC remembers,
// per server, how far it got, so a sync that finds nothing new costs a
// connection and a few small queries.
//
// A row the server refuses (a value it cannot keep, a check or trigger of
// the lab's, a limit such as an index row's size) does not stop the sync:
// the rows after it are sent, the refused one is named in the result, and
// the PC notes it, so that every later sync goes past it too and offers it
// again (it is named again while the server keeps refusing it). A server
// that fails itself (gone, no rights, short of resources) or does not
// answer in time (serverdeadline.h) stops the sync: what the server took is
// noted on the PC, and the next sync goes on from there. A user the server
// does not let store (an auditor) is refused before anything is sent; one
// it does not let sign (a technician) sends the rest and keeps this PC's
// signatures until a reviewer syncs them (noRights, roleNeeded).
#pragma once

#include "archive.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct ArchiveServer
{
    QString host;     // empty: libpq's default
    int port = 0;     // 0: libpq's default
    QString database; // empty: libpq's default
    QString user;     // empty: libpq's default
    QString sslMode;  // disable, allow, prefer, require, verify-ca, verify-full; empty: default
    // Other libpq parameters of the URI's query (connect_timeout,
    // sslrootcert, application_name, ...).
    QList<QPair<QString, QString>> options;
    QString password;        // in memory only: never saved, printed or put in uri()
    bool configured = false; // a server was named (all of its parts may be defaults)

    // Reads a URI "postgresql://…" or "postgres://…"; false, with the reason,
    // for any other text, an unknown parameter, a value libpq would misread,
    // or a password (a command line and the environment are no place for
    // one: the reason names ~/.pgpass and PGPASSWORD).
    static bool parse(const QString &uri, ArchiveServer *server, QString *error);
    // Whether a URI carries a password (user:password@, or ?password=).
    static bool uriHoldsPassword(const QString &uri);
    // The server named by $DR7326G_SERVER; none (isSet() false) without it.
    static bool fromEnvironment(ArchiveServer *server, QString *error);
    // The URI again, without the password.
    QString uri() const;
    bool isSet() const { return configured; }
};

// The libpq options of a server (sslmode, connect_timeout, ...) as the driver
// takes them; empty, with the reason, when one would be misread.
QStringList serverConnectOptions(const ArchiveServer &server, QString *reason);

// A row of the PC's archive that the server refused.
struct ArchiveSyncRefusal
{
    QString kind;  // "download", "parameter read", "setting change", "wearer event",
                   // "calibration" or "signature"
    qint64 id = 0; // in the PC's archive (a download's is what `archive dump` takes)
    QString serialNumber;
    QDateTime at;   // when it was downloaded, read or made; invalid when not known
    QString reason; // the server's
};

struct ArchiveSyncResult
{
    bool ok = false;
    QString error;              // why not, when !ok
    bool unreachable = false;   // the server could not be reached (or refused the login)
    bool needsPassword = false; // the server asks for a password it was not given, or refused it
    // Why the server was not opened (None: it was, or the PC's archive was not).
    Archive::Problem problem = Archive::Problem::None;
    QString detail;         // the server's own words on it (Archive::openDetail())
    bool connected = false; // the server was reached and is an archive: sending began
    // What the server did not hold before (it may have held part already).
    int downloads = 0;
    qint64 records = 0;
    int reads = 0;
    int changes = 0;
    int wearerEvents = 0; // wearers entered, pagers given and returned
    int calibrations = 0;
    int signatures = 0;
    // The server refused for lack of rights (SQLSTATE 42501, or found before
    // sending began): roleNeeded names the role that has them.
    bool noRights = false;
    QString roleNeeded;
    // Sending stopped at a time limit of this program's (the server stalled).
    bool stalled = false;
    // What the server refused (also when the sync went to its end).
    QList<ArchiveSyncRefusal> refused;
    // Everything the PC holds is on the server.
    bool complete() const { return ok && refused.isEmpty(); }
    bool nothingNew() const
    {
        return complete() && !downloads && !records && !reads && !changes && !wearerEvents &&
               !calibrations && !signatures;
    }
};

// Sends what `local` holds that `server` lacks. Both must be open. `server`
// may also be another archive file: `local` is then merged into it by the
// same rule (see moveEarlierFiles in archivelocation.h).
ArchiveSyncResult synchronizeArchive(Archive &local, Archive &server);
// The same, connecting to the server first (unreachable, needsPassword when
// that fails: nothing was sent).
ArchiveSyncResult synchronizeArchive(Archive &local, const ArchiveServer &server);
// Opens the archive file and the server on connections of its own, so that
// it may run in any thread (the window runs it off the event loop), then
// synchronises them.
ArchiveSyncResult synchronizeArchive(const QString &localFile, const ArchiveServer &server);
