// Winsock wants to come before anything that may bring in windows.h.
#if defined(_WIN32)
#include <winsock2.h>
// (after winsock2.h)
#include <windows.h>
#endif

#include "serverdeadline.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QSqlDriver>
#include <QThread>
#include <QVariant>
#include <QWaitCondition>

#include <cstdio>
#include <map>

#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#include <sys/socket.h>
#endif

namespace {

const char passedProperty[] = "dr7326g_deadline_passed";

// libpq's PQsocket, found in the libpq that Qt's PostgreSQL driver loaded
// (the program is not linked with libpq itself); null when it is not there.
using SocketOf = int (*)(const void *connection);

SocketOf findSocketOf()
{
#if defined(Q_OS_WIN)
    for (const char *library : {"libpq.dll", "libpq5.dll"})
        if (HMODULE module = GetModuleHandleA(library))
            if (FARPROC found = GetProcAddress(module, "PQsocket"))
                return reinterpret_cast<SocketOf>(reinterpret_cast<void *>(found));
    return nullptr;
#elif defined(Q_OS_UNIX)
    // RTLD_NOLOAD: only the library already there; the handle is kept, so
    // that it stays loaded as long as the pointer is used.
    for (const char *library : {"libpq.so.5", "libpq.5.dylib", "libpq.dylib"})
        if (void *handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD))
            if (void *found = dlsym(handle, "PQsocket"))
                return reinterpret_cast<SocketOf>(found);
    return reinterpret_cast<SocketOf>(dlsym(RTLD_DEFAULT, "PQsocket"));
#else
    return nullptr;
#endif
}

// The socket of a PostgreSQL connection; -1 without one.
qintptr socketOf(const QSqlDriver *driver)
{
    if (!driver || driver->dbmsType() != QSqlDriver::PostgreSQL || !driver->isOpen())
        return -1;
    const QVariant handle = driver->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "PGconn*") != 0)
        return -1;
    const void *connection = *static_cast<void *const *>(handle.constData());
    static const SocketOf socketOfConnection = findSocketOf();
    if (!connection || !socketOfConnection)
        return -1;
    return socketOfConnection(connection);
}

// Makes the call waiting on the socket return. Winsock wakes no waiting
// call for a mere shutdown: there the socket is closed, and libpq's own
// close of it soon after (the guard closes the connection) fails harmlessly.
void shutDown(qintptr socket)
{
#if defined(Q_OS_WIN)
    ::shutdown(SOCKET(socket), SD_BOTH);
    ::closesocket(SOCKET(socket));
#elif defined(Q_OS_UNIX)
    ::shutdown(int(socket), SHUT_RDWR);
#else
    Q_UNUSED(socket)
#endif
}

// One thread for every guard of the program: it sleeps until the earliest
// deadline and cuts the socket of each that passed. Made once and never
// destroyed, so that no guard outlives it. (Qt's threads: MinGW's default
// C++ library has no std::thread.)
class Watchdog
{
public:
    qint64 arm(qintptr socket, int ms)
    {
        const QMutexLocker lock(&mutex);
        if (!thread) {
            thread = new Thread(this);
            thread->start();
        }
        const qint64 id = next++;
        watches[id] = Watch{QDeadlineTimer(ms), socket, false};
        wake.wakeOne();
        return id;
    }
    // Whether its time ran out.
    bool disarm(qint64 id)
    {
        const QMutexLocker lock(&mutex);
        const auto found = watches.find(id);
        if (found == watches.end())
            return false;
        const bool passed = found->second.passed;
        watches.erase(found);
        return passed;
    }
    bool passed(qint64 id)
    {
        const QMutexLocker lock(&mutex);
        const auto found = watches.find(id);
        return found != watches.end() && found->second.passed;
    }

private:
    struct Watch
    {
        QDeadlineTimer at;
        qintptr socket;
        bool passed;
    };
    class Thread : public QThread
    {
    public:
        explicit Thread(Watchdog *dog) : watchdog(dog) {}
        void run() override { watchdog->run(); }

    private:
        Watchdog *watchdog;
    };
    QMutex mutex;
    QWaitCondition wake;
    std::map<qint64, Watch> watches;
    qint64 next = 0;
    Thread *thread = nullptr;

    void run()
    {
        const QMutexLocker lock(&mutex);
        for (;;) {
            for (auto &entry : watches) {
                Watch &w = entry.second;
                // The socket stays open while the watch is armed: the
                // connection is closed only by the thread waiting on it.
                if (!w.passed && w.at.hasExpired()) {
                    shutDown(w.socket);
                    // Guards nested on the connection are cut with it.
                    for (auto &other : watches)
                        if (other.second.socket == w.socket)
                            other.second.passed = true;
                }
            }
            qint64 wait = -1;
            for (const auto &entry : watches)
                if (!entry.second.passed) {
                    const qint64 left = qMax<qint64>(1, entry.second.at.remainingTime());
                    wait = wait < 0 ? left : qMin(wait, left);
                }
            if (wait < 0)
                wake.wait(&mutex);
            else
                wake.wait(&mutex, static_cast<unsigned long>(wait));
        }
    }
};

// Qt's PostgreSQL driver frees each prepared statement on the server when
// its query ends, and warns on stderr when it cannot: in a transaction the
// server refused, or on a connection cut on purpose. Neither is news (the
// server forgets the statement with the connection), so, once a server
// connection is used, those warnings are dropped.
QtMessageHandler earlierHandler = nullptr;

void dropUnfreedStatementWarnings(QtMsgType type, const QMessageLogContext &context,
                                  const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("Unable to free statement")))
        return;
    if (earlierHandler)
        earlierHandler(type, context, message);
    else
        fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

Watchdog &watchdog()
{
    static Watchdog *const instance = new Watchdog;
    return *instance;
}

} // namespace

int serverStatementDeadlineMs()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("DR7326G_SERVER_TIMEOUT").toDouble(&ok);
    return ok && seconds > 0 && seconds < 24 * 3600 ? qMax(1, int(seconds * 1000)) : 60000;
}

qint64 serverSyncDeadlineMs()
{
    return qint64(serverStatementDeadlineMs()) * 10;
}

QString serverDeadlineText(qint64 ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000)
                          : QStringLiteral("%1 s").arg(double(ms) / 1000, 0, 'g', 3);
}

ServerDeadline::ServerDeadline(const QSqlDriver *guarded, int time) : ms(time)
{
    const qintptr socket = socketOf(guarded);
    if (socket < 0)
        return;
    // A QObject property marks the connection; set only by its own thread.
    driver = const_cast<QSqlDriver *>(guarded);
    watch = watchdog().arm(socket, ms);
    static const bool quiet =
        (earlierHandler = qInstallMessageHandler(dropUnfreedStatementWarnings), true);
    Q_UNUSED(quiet)
}

ServerDeadline::ServerDeadline(const QSqlDatabase &db, int time) : ServerDeadline(db.driver(), time)
{
}

ServerDeadline::~ServerDeadline()
{
    // A connection that was cut is closed at once by its own thread: it can
    // carry nothing more.
    if (watch >= 0 && watchdog().disarm(watch)) {
        driver->setProperty(passedProperty, true);
        driver->close();
    }
}

bool ServerDeadline::passed() const
{
    return watch >= 0 && watchdog().passed(watch);
}

QString ServerDeadline::reason(const QString &error) const
{
    return passed() ? QStringLiteral("the server did not answer within %1 (this program's time "
                                     "limit; the connection was closed)")
                          .arg(serverDeadlineText(ms))
                    : error;
}

bool serverDeadlinePassed(const QSqlDatabase &db)
{
    return db.driver() && db.driver()->property(passedProperty).toBool();
}
