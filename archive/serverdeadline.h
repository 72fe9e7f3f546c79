// Deadlines of this program's own for what it asks of the lab's server.
//
// A server whose processes stopped, a machine that froze or a table another
// session keeps locked answers nothing, and libpq waits for its answer for
// ever: the server's own time-outs run in the server, which may not run at
// all. While a ServerDeadline lives, the connection it guards has its time:
// past it a watchdog thread shuts the connection's socket down (closes it,
// on Windows), so that the call waiting on it returns with an error. The
// connection is then marked (serverDeadlinePassed) and closed: the caller
// stops, says why and keeps what it had.
//
// Contract:
//  - Only PostgreSQL connections are guarded; any other (SQLite) is left
//    alone and the guard costs nothing.
//  - Each exchange with the server (a statement, a transaction's begin or
//    end, the rows of a result) may take serverStatementDeadlineMs():
//    $DR7326G_SERVER_TIMEOUT seconds when that is a positive number, else
//    60 s. A whole sync may take serverSyncDeadlineMs(), ten times that.
//    Connecting is bounded by libpq's connect_timeout (see
//    serverConnectOptions).
//  - Guards may nest; each ends at its own time.
#pragma once

#include <QSqlDatabase>
#include <QString>

class QSqlDriver;

int serverStatementDeadlineMs();
qint64 serverSyncDeadlineMs();
// "60 s", "0.5 s": a deadline as the messages give it.
QString serverDeadlineText(qint64 ms);

class ServerDeadline
{
public:
    explicit ServerDeadline(const QSqlDriver *driver, int ms = serverStatementDeadlineMs());
    explicit ServerDeadline(const QSqlDatabase &db, int ms = serverStatementDeadlineMs());
    ~ServerDeadline();
    ServerDeadline(const ServerDeadline &) = delete;
    ServerDeadline &operator=(const ServerDeadline &) = delete;

    // The time ran out and the connection was cut.
    bool passed() const;
    // The reason to give for a call that failed while guarded: `error`, or
    // that the server did not answer in time when that is why.
    QString reason(const QString &error) const;

private:
    QSqlDriver *driver = nullptr;
    qint64 watch = -1; // the watchdog's entry; -1: not guarded
    int ms = 0;
};

// A guard of this connection ran out: it is cut, nothing more goes through it.
bool serverDeadlinePassed(const QSqlDatabase &db);
