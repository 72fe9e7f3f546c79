// The POSIX backend: pagers as UNIX stream sockets in a private directory.
#include "usbsocketdir.h"
#include "usbxpress.h"

#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A listening socket standing in for a pager.
class Listener
{
public:
    explicit Listener(const QString &path)
    {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        std::memcpy(a.sun_path, p.constData(), size_t(p.size()));
        ok = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0;
    }
    ~Listener()
    {
        if (peer >= 0)
            ::close(peer);
        ::close(fd);
    }
    bool accept()
    {
        peer = ::accept(fd, nullptr, nullptr);
        return peer >= 0;
    }
    void send(const QByteArray &b)
    {
        QCOMPARE(::send(peer, b.constData(), size_t(b.size()), 0), ssize_t(b.size()));
    }
    QByteArray receive()
    {
        char buf[256];
        const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
    void hangUp()
    {
        ::close(peer);
        peer = -1;
    }
    int fd = -1;
    int peer = -1;
    bool ok = false;
};

} // namespace

class TstPosixBackend : public QObject
{
    Q_OBJECT

    QTemporaryDir runtime;
    QString dir() const { return runtime.path() + QStringLiteral("/dr7326g"); }

private slots:
    void initTestCase()
    {
        QVERIFY(runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QCOMPARE(socketdir::path(), dir());
    }

    void fallbackDirectoryWithoutRuntimeDir()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(socketdir::path(), QStringLiteral("/tmp/dr7326g-%1").arg(::getuid()));
        qputenv("XDG_RUNTIME_DIR", saved);
    }

    void runtimeDirWarningIsQuietWhenUnset()
    {
        static QStringList seen;
        const QtMessageHandler before = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { seen << m; });
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const auto askQt = [] {
            seen.clear();
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
            qWarning("another warning");
        };
        askQt();
        QVERIFY2(seen.size() == 2 && seen.first().contains(QLatin1String("XDG_RUNTIME_DIR")),
                 qPrintable(seen.join(QLatin1Char('|'))));
        socketdir::quietRuntimeDirWarning();
        askQt();
        QCOMPARE(seen, QStringList{QStringLiteral("another warning")});
        qputenv("XDG_RUNTIME_DIR", saved);
        qInstallMessageHandler(before);
    }

    void missingDirectoryMeansNoPager()
    {
        std::uint32_t count = 99;
        QCOMPARE(usbx::getNumDevices(&count), usbx::Success);
        QCOMPARE(count, 0u);
    }

    void untrustedDirectoryIsRefused()
    {
        QVERIFY(socketdir::ensure(dir()));
        QCOMPARE(QFileInfo(dir()).permissions() & (QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        ::chmod(QFile::encodeName(dir()).constData(), 0777);
        std::uint32_t count = 0;
        QVERIFY(usbx::getNumDevices(&count) != usbx::Success);
        ::chmod(QFile::encodeName(dir()).constData(), 0700);
        QCOMPARE(usbx::getNumDevices(&count), usbx::Success);

        if (::getuid() == 0) { // only root can give the directory away
            QVERIFY(::chown(QFile::encodeName(dir()).constData(), 65534, 65534) == 0);
            QVERIFY(usbx::getNumDevices(&count) != usbx::Success);
            QVERIFY(::chown(QFile::encodeName(dir()).constData(), 0, 0) == 0);
        }
    }

    void listsSocketsInNameOrder()
    {
        QVERIFY(socketdir::ensure(dir()));
        Listener b(dir() + QStringLiteral("/b.sock"));
        Listener a(dir() + QStringLiteral("/a.sock"));
        Listener other(dir() + QStringLiteral("/c.socket"));
        QFile plain(dir() + QStringLiteral("/d.sock"));
        QVERIFY(plain.open(QIODevice::WriteOnly)); // a file, not a socket
        plain.close();
        QVERIFY(a.ok && b.ok);

        std::uint32_t count = 0;
        QCOMPARE(usbx::getNumDevices(&count), usbx::Success);
        QCOMPARE(count, 2u);
        char name[usbx::ProductStringSize];
        QCOMPARE(usbx::getProductString(0, name, sizeof name, 0), usbx::Success);
        QCOMPARE(QByteArray(name), QByteArray("a.sock"));
        QCOMPARE(usbx::getProductString(1, name, sizeof name, 0), usbx::Success);
        QCOMPARE(QByteArray(name), QByteArray("b.sock"));
        QVERIFY(usbx::getProductString(2, name, sizeof name, 0) != usbx::Success);
        QFile::remove(dir() + QStringLiteral("/a.sock"));
        QFile::remove(dir() + QStringLiteral("/b.sock"));
        QFile::remove(dir() + QStringLiteral("/c.socket"));
        QFile::remove(dir() + QStringLiteral("/d.sock"));
    }

    void exchangeBytes()
    {
        QVERIFY(socketdir::ensure(dir()));
        const QString path = dir() + QStringLiteral("/pager.sock");
        Listener pager(path);
        QVERIFY(pager.ok);
        std::uint32_t count = 0;
        QCOMPARE(usbx::getNumDevices(&count), usbx::Success);
        QCOMPARE(count, 1u);
        usbx::setTimeouts(200, 200);
        usbx::Handle h = 0;
        QCOMPARE(usbx::open(0, &h), usbx::Success);
        QVERIFY(pager.accept());
        unsigned char details[usbx::DeviceQuerySize];
        QCOMPARE(usbx::queryDevice(h, details), usbx::Success);
        QCOMPARE(usbx::setBaudRate(h, 115200), usbx::Success);

        std::uint32_t n = 0;
        QCOMPARE(usbx::write(h, "get_ID\n\r", 8, &n, nullptr), usbx::Success);
        QCOMPARE(n, 8u);
        QCOMPARE(pager.receive(), QByteArray("get_ID\n\r"));

        // Nothing arrives: the read time-out passes and the read fails.
        char buf[500];
        QCOMPARE(usbx::read(h, buf, sizeof buf, &n, nullptr), usbx::ErrorTimeout);
        QCOMPARE(n, 0u);

        // What has arrived comes back at once, at most the size asked.
        pager.send("0123456789");
        QCOMPARE(usbx::read(h, buf, 4, &n, nullptr), usbx::Success);
        QCOMPARE(QByteArray(buf, int(n)), QByteArray("0123"));
        QCOMPARE(usbx::read(h, buf, sizeof buf, &n, nullptr), usbx::Success);
        QCOMPARE(QByteArray(buf, int(n)), QByteArray("456789"));

        // A pager that goes away fails the read.
        pager.hangUp();
        QVERIFY(usbx::read(h, buf, sizeof buf, &n, nullptr) != usbx::Success);

        QCOMPARE(usbx::close(h), usbx::Success);
        QVERIFY(usbx::close(h) != usbx::Success); // already closed: harmless
        QVERIFY(usbx::read(h, buf, sizeof buf, &n, nullptr) != usbx::Success);
        usbx::setTimeouts(usbx::NoTimeout, usbx::NoTimeout);
        QFile::remove(path);
    }

    void openFailsWhenNobodyListens()
    {
        QVERIFY(socketdir::ensure(dir()));
        const QString path = dir() + QStringLiteral("/gone.sock");
        {
            Listener pager(path);
            std::uint32_t count = 0;
            QCOMPARE(usbx::getNumDevices(&count), usbx::Success);
            QCOMPARE(count, 1u);
        } // the socket file stays, but nobody listens any more
        usbx::Handle h = 0;
        QVERIFY(usbx::open(0, &h) != usbx::Success);
        QFile::remove(path);
    }

    // A pager that takes no connection any more (its queue full) fails the
    // open at once instead of holding the program for ever.
    void openFailsWhenThePagerTakesNoConnection()
    {
        QVERIFY(socketdir::ensure(dir()));
        const QString path = dir() + QStringLiteral("/stuck.sock");
        Listener pager(path); // never accepts
        std::uint32_t count = 0;
        QCOMPARE(usbx::getNumDevices(&count), usbx::Success);
        QList<usbx::Handle> opened;
        usbx::Handle h = 0;
        while (opened.size() < 8 && usbx::open(0, &h) == usbx::Success)
            opened << h;
        for (const usbx::Handle each : opened)
            usbx::close(each);
        QVERIFY(opened.size() < 8);
        QFile::remove(path);
    }
};

QTEST_APPLESS_MAIN(TstPosixBackend)
#include "tst_posixbackend.moc"
