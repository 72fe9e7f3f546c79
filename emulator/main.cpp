// dr7326g-emulator: plays one DR7326G-05A pager, or several (--pagers), each on
// a UNIX stream socket of its own in the pager socket directory, where the PC
// program's POSIX backend finds it; or one pager on a TCP port of 127.0.0.1
// (--tcp), the same byte stream, for the Windows program under Wine.
//
// Each pager serves one connection at a time (several pagers serve theirs in
// threads of their own); a pager's settings survive from one connection to the
// next, the history is read from its first page again on every connection.
#include "devicefloat.h"
#include "historygen.h"
#include "pagerstate.h"
#include "usbsocketdir.h"
#include "wireformat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int wakeFds[2] = {-1, -1};
// Since start: when sockets appear and leave (--arrive-every, --stay).
QElapsedTimer sinceStart;

void onStopSignal(int)
{
    stopRequested = 1;
    const char byte = 1;
    const ssize_t ignored = ::write(wakeFds[1], &byte, 1);
    (void)ignored;
}

// With several pagers, each thread's lines name its pager.
thread_local QString logPrefix;

void logLine(const QString &text)
{
    const QByteArray line =
        QTime::currentTime().toString(QStringLiteral("[HH:mm:ss.zzz] ")).toUtf8() +
        logPrefix.toUtf8() + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void fail(const QString &text)
{
    std::fprintf(stderr, "dr7326g-emulator: %s\n", qPrintable(text));
}

struct Options
{
    QString directory;
    QString socketName; // empty: named after the serial number
    int tcpPort = -1;   // 0 and up: serve on this TCP port of 127.0.0.1, not on a socket
    int pagers = 1;
    double arriveEvery = 0; // seconds between the pagers' sockets appearing; 0: all at once
    double stay = 0;        // seconds each socket stays; 0: until stopped
    PagerProfile profile;
    HistoryParameters history;
    bool historyEndGiven = false;
    int baud = 115200;
    bool silent = false;
    int answerLimit = -1;
    bool splitRegisters = false;
    double gammaSigma = 3.0;
    double neutronSigma = 3.5;
    double threshold = 1.0e-5;
    qint64 clockOffset = 0;
};

// Clock of a pager that refuses to be set, minus the PC clock, in minutes.
constexpr qint64 refusingClockOffset = -90;

QDateTime deviceEpoch()
{
    return QDateTime::fromString(QStringLiteral("1999-01-01 00:00:00"),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The serial number `steps` on from `serial`, counted in its trailing digits
// (05A00317, 05A00318, ...); empty when they have no room for it.
QByteArray serialAfter(const QByteArray &serial, int steps)
{
    int start = serial.size();
    while (start > 0 && serial.at(start - 1) >= '0' && serial.at(start - 1) <= '9')
        --start;
    const int width = serial.size() - start;
    if (width == 0 || width > 15)
        return {};
    const QByteArray digits =
        QByteArray::number(serial.mid(start).toLongLong() + steps).rightJustified(width, '0');
    return digits.size() > width ? QByteArray() : serial.left(start) + digits;
}

bool intOption(const QCommandLineParser &p, const QString &name, qint64 lo, qint64 hi, qint64 *out,
               QString *error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const qint64 v = p.value(name).toLongLong(&ok);
    if (!ok || v < lo || v > hi) {
        *error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(lo)
                     .arg(hi)
                     .arg(p.value(name));
        return false;
    }
    *out = v;
    return true;
}

bool realOption(const QCommandLineParser &p, const QString &name, double lo, double hi, double *out,
                QString *error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < lo || v > hi) {
        *error = QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(lo)
                     .arg(hi)
                     .arg(p.value(name));
        return false;
    }
    *out = v;
    return true;
}

bool parseOptions(const QCoreApplication &app, Options *o, QString *error)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Plays a DR7326G-05A radiation pager on a UNIX socket in the pager socket directory,\n"
        "or on a TCP port of 127.0.0.1 (--tcp), for the PC program to talk to. Every request\n"
        "and reply is logged on stderr."));
    p.addHelpOption();
    p.addVersionOption();
    const auto add = [&p](const QString &name, const QString &help, const QString &value = {},
                          const QString &def = {}) {
        QCommandLineOption opt(name, help, value, def);
        p.addOption(opt);
    };
    add(QStringLiteral("socket"),
        QStringLiteral("Socket file name in the socket directory (default: the serial number "
                       "and .sock, e.g. 05A00317.sock)."),
        QStringLiteral("name"));
    add(QStringLiteral("socket-dir"),
        QStringLiteral("Socket directory instead of %1.").arg(socketdir::path()),
        QStringLiteral("dir"));
    add(QStringLiteral("tcp"),
        QStringLiteral("Serve the pager on this TCP port of 127.0.0.1 (that address only) "
                       "instead of a UNIX socket; 0 takes a free port. Prints \"listening on "
                       "127.0.0.1:PORT\" on stdout. One pager only; any local user can reach it."),
        QStringLiteral("port"));
    add(QStringLiteral("serial"),
        QStringLiteral("Serial number, 8 letters or digits (default 05A00317)."),
        QStringLiteral("serial"), QStringLiteral("05A00317"));
    add(QStringLiteral("pagers"),
        QStringLiteral("Play this many pagers (default 1), serial numbers counting up from "
                       "--serial, each on a socket named after its serial number; their "
                       "histories differ."),
        QStringLiteral("n"), QStringLiteral("1"));
    add(QStringLiteral("arrive-every"),
        QStringLiteral("With --pagers: the first pager's socket appears at start, each next one "
                       "this many seconds later, as pagers plugged in one after another."),
        QStringLiteral("seconds"));
    add(QStringLiteral("stay"),
        QStringLiteral("Take each pager's socket away again (a connection to it closed) this many "
                       "seconds after it appeared, as a pager unplugged; the emulator ends once "
                       "every pager has left."),
        QStringLiteral("seconds"));
    add(QStringLiteral("records"), QStringLiteral("Number of history records (default 200)."),
        QStringLiteral("n"), QStringLiteral("200"));
    add(QStringLiteral("page-size"), QStringLiteral("History records per page (default 16)."),
        QStringLiteral("n"), QStringLiteral("16"));
    add(QStringLiteral("baud"),
        QStringLiteral("Pace replies like this serial line in 64-byte USB packets; 0 sends "
                       "each reply at once (default 115200)."),
        QStringLiteral("baud"), QStringLiteral("115200"));
    add(QStringLiteral("seed"), QStringLiteral("Seed of the generated history (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    add(QStringLiteral("interval"),
        QStringLiteral("History interval in minutes at start (default 10)."),
        QStringLiteral("minutes"), QStringLiteral("10"));
    add(QStringLiteral("history-end"),
        QStringLiteral("Local time near which the history ends (yyyy-MM-ddTHH:mm); default: "
                       "the pager clock at start."),
        QStringLiteral("time"));
    add(QStringLiteral("clock-offset"),
        QStringLiteral("Pager clock minus PC clock at start, in minutes."),
        QStringLiteral("minutes"), QStringLiteral("0"));
    add(QStringLiteral("gamma-sigma"),
        QStringLiteral("Gamma channel sigmas at start (default 3.0)."), QStringLiteral("x"),
        QStringLiteral("3.0"));
    add(QStringLiteral("neutron-sigma"),
        QStringLiteral("Neutron channel sigmas at start (default 3.5)."), QStringLiteral("x"),
        QStringLiteral("3.5"));
    add(QStringLiteral("threshold"),
        QStringLiteral("Dose-rate threshold in Sv/h at start (default 1e-5)."), QStringLiteral("x"),
        QStringLiteral("1e-5"));
    add(QStringLiteral("silent"), QStringLiteral("Fault: accept connections, answer nothing."));
    add(QStringLiteral("answer-limit"),
        QStringLiteral("Fault: answer this many requests in all, then go silent."),
        QStringLiteral("n"));
    add(QStringLiteral("garbled-page"),
        QStringLiteral("Fault: history page k (from 1) comes with non-hex words and a stale "
                       "checksum."),
        QStringLiteral("k"));
    add(QStringLiteral("no-blk-page"),
        QStringLiteral("Fault: history page k (from 1) comes without \"BLK=\"."),
        QStringLiteral("k"));
    add(QStringLiteral("odd-records"),
        QStringLiteral("Records that look wrong, one of each kind the PC program flags: an "
                       "unknown event code, a dose rate of 5 Sv/h, the dose falling without a "
                       "switch-on, a gap of six intervals, a time running backwards, the newest "
                       "record a day ahead, and page 2 with a stale checksum (40 records or "
                       "more)."));
    add(QStringLiteral("no-end"),
        QStringLiteral("Fault: the history has no end record; its last page is sent for every "
                       "further request."));
    add(QStringLiteral("split-registers"),
        QStringLiteral("Fault: register replies come in two parts 50 ms apart."));
    add(QStringLiteral("refuse-writes"),
        QStringLiteral("Fault: refuse every register write, the history interval and the "
                       "clock; the clock then runs %1 minutes behind the PC unless "
                       "--clock-offset is given, so that a refused clock setting shows.")
            .arg(-refusingClockOffset));
    p.process(app); // exits on --help, --version and unknown options

    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first());
        return false;
    }

    o->socketName = p.value(QStringLiteral("socket"));
    if (p.isSet(QStringLiteral("socket")) &&
        (o->socketName.isEmpty() || o->socketName.contains(QLatin1Char('/')) ||
         o->socketName == QLatin1String(".") || o->socketName == QLatin1String(".."))) {
        *error = QStringLiteral("--socket wants a file name, not \"%1\"").arg(o->socketName);
        return false;
    }
    o->directory = p.isSet(QStringLiteral("socket-dir")) ? p.value(QStringLiteral("socket-dir"))
                                                         : socketdir::path();
    qint64 v = -1;
    if (!intOption(p, QStringLiteral("tcp"), 0, 65535, &v, error))
        return false;
    o->tcpPort = int(v);
    if (o->tcpPort >= 0 &&
        (p.isSet(QStringLiteral("socket")) || p.isSet(QStringLiteral("socket-dir")))) {
        *error = QStringLiteral("--tcp serves the pager on a TCP port, not on a UNIX socket: "
                                "leave out --socket and --socket-dir");
        return false;
    }

    const QString serial = p.value(QStringLiteral("serial"));
    bool serialOk = serial.size() == 8;
    for (const QChar c : serial)
        serialOk = serialOk && c.unicode() < 128 && c.isLetterOrNumber();
    if (!serialOk) {
        *error = QStringLiteral("--serial wants 8 letters or digits, not \"%1\"").arg(serial);
        return false;
    }
    o->profile.serial = serial.toLatin1();

    v = 1;
    if (!intOption(p, QStringLiteral("pagers"), 1, 64, &v, error))
        return false;
    o->pagers = int(v);
    if (o->pagers > 1 && o->tcpPort >= 0) {
        *error =
            QStringLiteral("--tcp serves one pager; --pagers %1 wants UNIX sockets").arg(o->pagers);
        return false;
    }
    if (o->pagers > 1 && p.isSet(QStringLiteral("socket"))) {
        *error = QStringLiteral("--socket names one socket; with --pagers each pager's socket is "
                                "named after its serial number");
        return false;
    }
    if (serialAfter(o->profile.serial, o->pagers - 1).isEmpty()) {
        *error = QStringLiteral("--pagers %1: the serial number %2 has no room to count up in "
                                "its last digits")
                     .arg(o->pagers)
                     .arg(serial);
        return false;
    }

    if (!realOption(p, QStringLiteral("arrive-every"), 0, 86400, &o->arriveEvery, error) ||
        !realOption(p, QStringLiteral("stay"), 0, 86400, &o->stay, error))
        return false;
    if (o->tcpPort >= 0 && (o->arriveEvery > 0 || o->stay > 0)) {
        *error = QStringLiteral("--arrive-every and --stay come and go on UNIX sockets, not --tcp");
        return false;
    }

    v = 200;
    if (!intOption(p, QStringLiteral("records"), 0, 100000, &v, error))
        return false;
    o->history.records = int(v);
    v = 16;
    if (!intOption(p, QStringLiteral("page-size"), 1, 512, &v, error))
        return false;
    o->profile.recordsPerPage = int(v);
    v = 115200;
    if (!intOption(p, QStringLiteral("baud"), 0, 100000000, &v, error))
        return false;
    o->baud = int(v);
    v = 1;
    if (!intOption(p, QStringLiteral("seed"), 0, std::numeric_limits<qint64>::max(), &v, error))
        return false;
    o->history.seed = std::uint64_t(v);
    v = 10;
    if (!intOption(p, QStringLiteral("interval"), 1, 0xFFFF, &v, error))
        return false;
    o->history.intervalMinutes = int(v);
    if (!intOption(p, QStringLiteral("clock-offset"), -0xFFFFFF, 0xFFFFFF, &o->clockOffset, error))
        return false;
    if (!intOption(p, QStringLiteral("answer-limit"), 0, 1000000000, &v, error))
        return false;
    if (p.isSet(QStringLiteral("answer-limit")))
        o->answerLimit = int(v);
    v = 0;
    if (!intOption(p, QStringLiteral("garbled-page"), 1, 1000000, &v, error))
        return false;
    o->profile.garbledPage = int(v);
    v = 0;
    if (!intOption(p, QStringLiteral("no-blk-page"), 1, 1000000, &v, error))
        return false;
    o->profile.noBlkPage = int(v);

    if (!realOption(p, QStringLiteral("gamma-sigma"), 0.0, 6553.5, &o->gammaSigma, error) ||
        !realOption(p, QStringLiteral("neutron-sigma"), 0.0, 6553.5, &o->neutronSigma, error) ||
        !realOption(p, QStringLiteral("threshold"), 0.0, 1.0e30, &o->threshold, error))
        return false;
    o->history.doseRateThreshold = float(o->threshold);

    if (p.isSet(QStringLiteral("history-end"))) {
        const QDateTime end =
            QDateTime::fromString(p.value(QStringLiteral("history-end")), Qt::ISODate);
        if (!end.isValid() || deviceEpoch().secsTo(end) < 60) {
            *error = QStringLiteral("--history-end wants a local time after 1999-01-01 like "
                                    "2024-05-01T12:30, not \"%1\"")
                         .arg(p.value(QStringLiteral("history-end")));
            return false;
        }
        o->history.endMinute =
            std::uint32_t(qMin<qint64>(deviceEpoch().secsTo(end) / 60, 0xFFFFFF));
        o->historyEndGiven = true;
    }

    o->silent = p.isSet(QStringLiteral("silent"));
    o->splitRegisters = p.isSet(QStringLiteral("split-registers"));
    o->profile.refuseWrites = p.isSet(QStringLiteral("refuse-writes"));
    o->profile.noEnd = p.isSet(QStringLiteral("no-end"));
    o->history.oddRecords = p.isSet(QStringLiteral("odd-records"));
    if (o->history.oddRecords) {
        if (o->history.records < 40) {
            *error = QStringLiteral("--odd-records needs 40 records or more");
            return false;
        }
        o->profile.staleChecksumPage = 2;
    }
    if (o->profile.refuseWrites && !p.isSet(QStringLiteral("clock-offset")))
        o->clockOffset = refusingClockOffset;
    return true;
}

// Sleeps, cut short by a stop signal; false when the emulator is to stop.
bool pause(std::int64_t microseconds)
{
    if (microseconds <= 0)
        return !stopRequested;
    timespec left{time_t(microseconds / 1000000), long(microseconds % 1000000) * 1000};
    while (!stopRequested && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    return !stopRequested;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    int sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR && !stopRequested)
                continue;
            return false;
        }
        sent += int(n);
    }
    return true;
}

// Sends a reply as the serial line and the USB bridge would deliver it.
bool sendPaced(int fd, const QByteArray &bytes, int baud)
{
    const std::vector<QByteArray> packets =
        baud > 0 ? splitIntoPackets(bytes, 64) : std::vector<QByteArray>{bytes};
    for (const QByteArray &packet : packets) {
        if (!pause(packetDelayMicroseconds(packet.size(), baud)))
            return false;
        if (!sendAll(fd, packet))
            return false;
    }
    return true;
}

bool sendReply(int fd, const PagerReply &reply, const Options &o)
{
    if (reply.isFrame && o.splitRegisters && reply.bytes.size() > 1) {
        const int half = reply.bytes.size() / 2;
        return sendPaced(fd, reply.bytes.left(half), o.baud) && pause(50000) &&
               sendPaced(fd, reply.bytes.mid(half), o.baud);
    }
    return sendPaced(fd, reply.bytes, o.baud);
}

// Whoever listens on the path: a live pager when a connection is accepted.
bool somebodyListens(const sockaddr_un &address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool live =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return live;
}

class Server
{
public:
    Server(const Options &options, PagerState &pager, const QString &socket)
        : o(options), state(pager), socketName(socket)
    {
    }

    int listenFd = -1;
    QByteArray path; // of the UNIX socket; empty on TCP
    dev_t device = 0;
    ino_t inode = 0;
    QString place; // where it listens: the socket path, or 127.0.0.1:PORT

    bool open(QString *error) { return o.tcpPort >= 0 ? openTcp(error) : openSocket(error); }

    // Listens on 127.0.0.1 only: the pager is for programs on this machine.
    bool openTcp(QString *error)
    {
        const auto failed = [this, error](const char *what) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            *error = QStringLiteral("cannot %1 127.0.0.1:%2: %3")
                         .arg(QLatin1String(what))
                         .arg(o.tcpPort)
                         .arg(why);
            if (listenFd >= 0)
                ::close(listenFd);
            listenFd = -1;
            return false;
        };
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0)
            return failed("open a socket for");
        const int on = 1;
        ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(o.tcpPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listenFd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0)
            return failed("bind");
        if (::listen(listenFd, 4) != 0)
            return failed("listen on");
        socklen_t size = sizeof a;
        if (::getsockname(listenFd, reinterpret_cast<sockaddr *>(&a), &size) != 0)
            return failed("find the port of");
        place = QStringLiteral("127.0.0.1:%1").arg(ntohs(a.sin_port));
        return true;
    }

    bool openSocket(QString *error)
    {
        QString why;
        if (!socketdir::ensure(o.directory, &why)) {
            *error = QStringLiteral("socket directory refused: %1").arg(why);
            return false;
        }
        path = QFile::encodeName(o.directory + QLatin1Char('/') + socketName);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof address.sun_path) {
            *error = QStringLiteral("socket path too long: %1").arg(QFile::decodeName(path));
            return false;
        }
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

        struct stat st;
        if (::lstat(path.constData(), &st) == 0) {
            if (!S_ISSOCK(st.st_mode)) {
                *error =
                    QStringLiteral("%1 exists and is not a socket").arg(QFile::decodeName(path));
                return false;
            }
            if (somebodyListens(address)) {
                *error =
                    QStringLiteral("a pager already answers on %1").arg(QFile::decodeName(path));
                return false;
            }
            if (::unlink(path.constData()) != 0) {
                *error =
                    QStringLiteral("cannot remove the stale socket %1: %2")
                        .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            logLine(QStringLiteral("removed stale socket %1").arg(QFile::decodeName(path)));
        }

        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0 ||
            ::bind(listenFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            *error =
                QStringLiteral("cannot bind %1: %2")
                    .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (::lstat(path.constData(), &st) == 0) {
            device = st.st_dev;
            inode = st.st_ino;
        }
        place = QFile::decodeName(path);
        if (::listen(listenFd, 4) != 0) {
            *error =
                QStringLiteral("cannot listen on %1: %2")
                    .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
            removeSocket();
            return false;
        }
        return true;
    }

    // Removes the socket file, unless somebody else has put a new one there;
    // on TCP, stops listening.
    void removeSocket()
    {
        if (listenFd >= 0) {
            ::close(listenFd);
            listenFd = -1;
        }
        struct stat st;
        if (!path.isEmpty() && ::lstat(path.constData(), &st) == 0 && st.st_dev == device &&
            st.st_ino == inode)
            ::unlink(path.constData());
    }

    // Serves until stopped, or until `leaveAtMs` (of sinceStart; -1: never),
    // when an open connection is closed as by an unplugged pager.
    void run(qint64 leaveAtMs = -1)
    {
        int client = -1;
        int connections = 0;
        long answered = 0;
        bool silent = o.silent;
        if (silent)
            logLine(QStringLiteral("silent: requests are read and logged, never answered"));
        RequestReader reader;
        char buffer[4096];

        while (!stopRequested) {
            pollfd fds[2] = {{wakeFds[0], POLLIN, 0}, {client >= 0 ? client : listenFd, POLLIN, 0}};
            // A request that stops arriving half-way is given up after a second.
            int timeout = client >= 0 && reader.pending() > 0 ? 1000 : -1;
            const qint64 left = leaveAtMs < 0 ? -1 : leaveAtMs - sinceStart.elapsed();
            if (leaveAtMs >= 0 && left <= 0) {
                logLine(QStringLiteral("unplugged"));
                break;
            }
            if (left >= 0 && (timeout < 0 || left < timeout))
                timeout = int(left);
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                logLine(QStringLiteral("poll failed: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
                break;
            }
            if (fds[0].revents || stopRequested)
                break;
            if (ready == 0 && reader.pending() == 0)
                continue; // the time to leave
            if (ready == 0) {
                logLine(QStringLiteral("incomplete request dropped after a pause: %1")
                            .arg(describeRequest({WireRequest::Garbage, reader.takePending()})));
                continue;
            }

            if (client < 0) {
                client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0) {
                    if (errno != EINTR && errno != ECONNABORTED)
                        logLine(QStringLiteral("accept failed: %1")
                                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
                    continue;
                }
                if (o.tcpPort >= 0) { // each USB packet on its way at once, as paced
                    const int on = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                }
                ++connections;
                reader.clear();
                state.beginConnection();
                logLine(QStringLiteral("connection %1 opened").arg(connections));
                continue;
            }

            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (reader.pending() > 0)
                    logLine(
                        QStringLiteral("incomplete request left at the end: %1")
                            .arg(describeRequest({WireRequest::Garbage, reader.takePending()})));
                logLine(QStringLiteral("connection %1 closed").arg(connections));
                ::close(client);
                client = -1;
                continue;
            }
            reader.append(QByteArray(buffer, int(n)));

            WireRequest request;
            while (client >= 0 && reader.next(&request)) {
                logLine(QStringLiteral("request: %1").arg(describeRequest(request)));
                if (request.kind == WireRequest::Garbage)
                    continue;
                if (silent) {
                    logLine(QStringLiteral("reply: none (silent)"));
                    continue;
                }
                const PagerReply reply = request.kind == WireRequest::Text
                                             ? state.answerText(request.bytes)
                                             : state.answerFrame(request.bytes);
                ++answered;
                if (!sendReply(client, reply, o)) {
                    if (stopRequested)
                        break;
                    logLine(QStringLiteral("connection %1 lost while replying").arg(connections));
                    ::close(client);
                    client = -1;
                    break;
                }
                logLine(QStringLiteral("reply: %1 (%2 bytes)")
                            .arg(reply.summary)
                            .arg(reply.bytes.size()));
                if (o.answerLimit >= 0 && answered >= o.answerLimit) {
                    silent = true;
                    logLine(QStringLiteral("answer limit of %1 reached: the pager goes silent")
                                .arg(o.answerLimit));
                }
            }
        }
        if (client >= 0)
            ::close(client);
    }

private:
    const Options &o;
    PagerState &state;
    QString socketName;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dr7326g-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    Options o;
    QString error;
    if (!parseOptions(app, &o, &error)) {
        fail(error);
        return 1;
    }

    sinceStart.start();
    if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail(QStringLiteral("cannot create a pipe"));
        return 1;
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: blocking calls return and the loop looks at the flag
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const QDateTime epoch = deviceEpoch();
    const PagerState::MinuteClock pcMinutes = [epoch] {
        return epoch.secsTo(QDateTime::currentDateTime()) / 60;
    };
    if (!o.historyEndGiven)
        o.history.endMinute =
            std::uint32_t(qBound<qint64>(1, pcMinutes() + o.clockOffset, 0xFFFFFF));

    // One pager, or several with serial numbers counting up and histories of
    // their own; each listens before any serves, so that a failure leaves none.
    std::vector<std::unique_ptr<PagerState>> pagers;
    std::vector<std::unique_ptr<Server>> servers;
    QStringList serials;
    for (int k = 0; k < o.pagers; ++k) {
        PagerProfile profile = o.profile;
        profile.serial = serialAfter(o.profile.serial, k);
        HistoryParameters history = o.history;
        history.seed += std::uint64_t(k);
        auto pager = std::make_unique<PagerState>(profile, generateHistory(history), pcMinutes);
        pager->gammaSigmaTenths = std::uint16_t(std::lround(o.gammaSigma * 10.0));
        pager->neutronSigmaTenths = std::uint16_t(std::lround(o.neutronSigma * 10.0));
        pager->thresholdWord = encodeDeviceFloatWord(float(o.threshold));
        pager->intervalMinutes = std::uint16_t(o.history.intervalMinutes);
        pager->clockOffsetMinutes = o.clockOffset;
        const QString socket = o.socketName.isEmpty()
                                   ? QString::fromLatin1(profile.serial) + QStringLiteral(".sock")
                                   : o.socketName;
        auto server = std::make_unique<Server>(o, *pager, socket);
        // One arriving later opens its socket then (--arrive-every).
        if ((k == 0 || o.arriveEvery <= 0) && !server->open(&error)) {
            fail(error);
            for (auto &opened : servers)
                opened->removeSocket();
            return 1;
        }
        logLine(QStringLiteral("pager %1: %2 history records in %3 pages of %4, interval %5 "
                               "min, %6")
                    .arg(wireText(profile.serial))
                    .arg(pager->history().size())
                    .arg(pager->pageCount())
                    .arg(o.profile.recordsPerPage)
                    .arg(o.history.intervalMinutes)
                    .arg(o.baud > 0 ? QStringLiteral("%1 baud").arg(o.baud)
                                    : QStringLiteral("no pacing")));
        serials << wireText(profile.serial);
        pagers.push_back(std::move(pager));
        servers.push_back(std::move(server));
    }

    // Told once every socket is there: a script may go on at the first line.
    // A TCP port, perhaps chosen by the system, is told on stdout as well.
    for (auto &server : servers)
        if (server->listenFd >= 0)
            std::fprintf(stderr, "listening on %s\n", qPrintable(server->place));
    std::fflush(stderr);
    if (o.tcpPort >= 0) {
        std::printf("listening on %s\n", qPrintable(servers.front()->place));
        std::fflush(stdout);
    }

    // Pager k appears k intervals after start (--arrive-every) and leaves
    // --stay seconds after it appeared.
    const auto serve = [&o](Server *server, int k) {
        const qint64 arriveAt = server->listenFd >= 0 ? 0 : qint64(k * o.arriveEvery * 1000.0);
        for (;;) {
            const qint64 left = arriveAt - sinceStart.elapsed();
            if (stopRequested || left <= 0)
                break;
            pollfd wake{wakeFds[0], POLLIN, 0};
            ::poll(&wake, 1, int(left));
        }
        QString error;
        if (stopRequested || (server->listenFd < 0 && !server->open(&error))) {
            if (!error.isEmpty())
                logLine(error);
            return;
        }
        if (arriveAt > 0)
            logLine(QStringLiteral("listening on %1").arg(server->place));
        server->run(o.stay > 0 ? arriveAt + qint64(o.stay * 1000.0) : -1);
        if (!stopRequested) {
            server->removeSocket();
            logLine(QStringLiteral("socket removed"));
        }
    };
    if (servers.size() == 1) {
        serve(servers.front().get(), 0);
    } else {
        std::vector<std::thread> threads;
        for (size_t k = 0; k < servers.size(); ++k) {
            const QString prefix = serials.at(int(k)) + QStringLiteral(": ");
            Server *server = servers[k].get();
            threads.emplace_back([server, prefix, k, &serve] {
                logPrefix = prefix;
                serve(server, int(k));
            });
        }
        for (std::thread &t : threads)
            t.join();
    }
    for (auto &server : servers)
        server->removeSocket();
    logLine(o.tcpPort >= 0 ? QStringLiteral("stopped") : QStringLiteral("stopped, socket removed"));
    return 0;
}
