// The lab's archive server as the window knows it.
//
// Contract:
//  - The server is kept in QSettings under "server/" (host, port, database,
//    user, sslmode) and never with a password. No "server/" keys: the server
//    named by $DR7326G_SERVER, if any. Keys with an empty host and an empty
//    database: no server, whatever the environment says (the operator chose
//    to stop using one).
//  - The password the operator types is kept by LabServer in memory for the
//    session only, and given to each connection; it is forgotten when the
//    server refuses it or another server is chosen.
//  - The window's texts about the server live here: a sync's outcome, why
//    the server could not be used, the outcome of a connection check. They
//    are Russian sentences chosen by the archive's Problem and the sync's
//    outcome; the server's own (English) words come only after «Подробно:».
//  - checkServer() tries a connection as a sync would (an empty database gets
//    the archive's tables); it blocks, so the window runs it off the event
//    loop.
#pragma once

#include "archiveserver.h"

#include <QString>

class QSettings;
class QWidget;

// The server kept in `settings`: `stored` false when it holds no "server/"
// keys at all.
ArchiveServer loadServerSettings(const QSettings &settings, bool *stored);
// Keeps the server's host, port, database, user and TLS mode; an empty host
// and database keep "no server". Never a password.
void saveServerSettings(QSettings &settings, const ArchiveServer &server);
// Whether the fields name a server (a host or a database).
bool namesServer(const ArchiveServer &server);

class LabServer
{
public:
    // The server to use: from the settings, else the environment. False when
    // there is none or the environment's URI cannot be read (`why` says which,
    // for the status bar). The session's password is filled in.
    bool current(ArchiveServer *server, QString *why) const;
    // Asks for the password (hidden as typed); false when cancelled.
    bool askPassword(QWidget *parent, const ArchiveServer &server);
    void forgetPassword() { password.clear(); }

private:
    QString password; // this session only
};

// `text` (a Russian sentence), then `detail` (the server's or the archive's
// own words, English) after «Подробно:» when there is one.
QString withDetail(const QString &text, const QString &detail);

// The status bar's text for a sync's outcome.
QString syncOutcomeMessage(const ArchiveSyncResult &result);

// The server refused for lack of rights: `what` («на подпись», ...) and
// the role that has them, in Russian.
QString rightsRefusalMessage(const QString &what, const QString &role);

// Why the lab's server could not be used (`problem` as Archive::openProblem()
// gave it), with `detail` (the server's words, or the archive's reason)
// after «Подробно:» when not empty.
QString serverProblemMessage(Archive::Problem problem, const QString &detail);

// A connection to the server and what came of it.
struct ServerCheck
{
    bool reached = false; // connected, and the database is this program's archive
    Archive::Problem problem = Archive::Problem::None;
    QString detail;
};
ServerCheck checkServer(const ArchiveServer &server);
// The check's outcome as the server dialog says it.
QString serverCheckMessage(const ServerCheck &check);
