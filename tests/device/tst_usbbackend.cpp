// The libusb backend against pagers on an emulated USB bus (umockdev): what
// it sends to each bridge family, how it hands out what the pager replies,
// and the devices it cannot open. The command-line tool then runs end to end
// over the emulated pager. Without umockdev-wrapper: skipped (77).
#include "support/usbpagerbed.h" // first: see there

#include "mainwindow.h"
#include "support/emulatorprocess.h"
#include "support/tablerows.h"
#include "support/testsettings.h"
#include "usbids.h"
#include "usbxpress.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

UsbPagerBed *bed = nullptr;
QTemporaryDir *runtime = nullptr;

const QStringList firmwareOpen = {
    "40 02 0002 0000 0000",       "41 00 0001 0000 0000 stall",
    "40 02 0001 0000 0000",       "41 12 000f 0000 0000 stall",
    "c0 ff 370b 0000 0001 stall", "41 1e 0000 0000 0004 00c20100 stall"};
const QStringList firmwareClose = {"40 02 0004 0000 0000", "41 00 0000 0000 0000 stall"};
const QStringList cp210xOpen = {"40 02 0002 0000 0000 stall", "41 00 0001 0000 0000",
                                "40 02 0001 0000 0000 stall", "41 12 000f 0000 0000",
                                "c0 ff 370b 0000 0001",       "41 1e 0000 0000 0004 00c20100"};
const QStringList cp210xClose = {"40 02 0004 0000 0000 stall", "41 00 0000 0000 0000"};

} // namespace

class TestUsbBackend : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void toolOverUsb();
    void windowOverUsb();
};

void TestUsbBackend::exchange_data()
{
    QTest::addColumn<QString>("ids");         // besides the default
    QTest::addColumn<int>("count");           // devices listed
    QTest::addColumn<int>("index");           // the one opened
    QTest::addColumn<QByteArray>("node");     // its device file
    QTest::addColumn<int>("problem");         // OpenProblem::Kind, -1: it opens
    QTest::addColumn<QStringList>("opening"); // setups of open, query and baud rate
    QTest::addColumn<QStringList>("closing");
    QTest::addColumn<bool>("ask"); // a history page asked for
    QTest::addColumn<int>("readSize");
    QTest::addColumn<int>("firstRead"); // bytes of the first read; -1: the whole reply

    const QByteArray a = "/dev/bus/usb/001/002", b = "/dev/bus/usb/001/003",
                     c = "/dev/bus/usb/001/004", d = "/dev/bus/usb/001/005",
                     e = "/dev/bus/usb/001/006";
    const int opens = -1;
    QTest::newRow("firmware family, CP210x requests stalled")
        << "" << 1 << 0 << a << opens << firmwareOpen << firmwareClose << true << 500 << -1;
    QTest::newRow("CP210x family, firmware requests stalled; two devices")
        << "1234:0001" << 2 << 1 << b << opens << cp210xOpen << cp210xClose << true << 500 << -1;
    QTest::newRow("reply split across 64-byte packets comes in one read")
        << "" << 1 << 0 << a << opens << firmwareOpen << firmwareClose << true << 4096 << -1;
    QTest::newRow("reply longer than the caller's buffer kept for the next read")
        << "" << 1 << 0 << a << opens << firmwareOpen << firmwareClose << true << 16 << 16;
    QTest::newRow("read time-out with nothing is success with 0 bytes")
        << "" << 1 << 0 << a << opens << firmwareOpen << firmwareClose << false << 500 << 0;
    QTest::newRow("kernel driver bound, detached")
        << "1234:0002" << 2 << 1 << c << opens << firmwareOpen << firmwareClose << true << 500
        << -1;
    QTest::newRow("kernel driver bound, not detachable")
        << "1234:0003" << 2 << 1 << d << int(usbx::OpenProblem::Kind::DriverBound) << QStringList()
        << QStringList() << false << 0 << 0;
    QTest::newRow("access denied")
        << "1234:0004" << 2 << 1 << e << int(usbx::OpenProblem::Kind::AccessDenied) << QStringList()
        << QStringList() << false << 0 << 0;
}

void TestUsbBackend::exchange()
{
    QFETCH(QString, ids);
    QFETCH(int, count);
    QFETCH(int, index);
    QFETCH(QByteArray, node);
    QFETCH(int, problem);
    QFETCH(QStringList, opening);
    QFETCH(QStringList, closing);
    QFETCH(bool, ask);
    QFETCH(int, readSize);
    QFETCH(int, firstRead);

    usbx::UsbSettings settings;
    QVERIFY(parseUsbIds(ids, &settings.extraIds));
    usbx::configure(settings);
    std::uint32_t n = 0;
    QCOMPARE(usbx::getNumDevices(&n), usbx::Success);
    QCOMPARE(int(n), count);
    char description[usbx::ProductStringSize];
    QCOMPARE(usbx::getProductString(std::uint32_t(index), description, usbx::ProductStringSize, 0),
             usbx::Success);
    bed->takeSetups(node);
    usbx::setTimeouts(100, 100);

    usbx::Handle handle = 0;
    const bool denied = problem == int(usbx::OpenProblem::Kind::AccessDenied);
    const QByteArray file = QFile::encodeName(bed->file(node));
    if (denied) { // root passes any mode: the check is made as nobody, who may reach the bed
        ::chmod(file.constData(), 0);
        for (const char *path : {"", "/ioctl", "/ioctl/_default"})
            ::chmod(QFile::encodeName(bed->root() + QLatin1String(path)).constData(), 0777);
        if (::geteuid() == 0)
            ::setfsuid(65534);
    }
    const usbx::Status opened = usbx::open(std::uint32_t(index), &handle);
    if (denied) {
        if (::geteuid() == 0)
            ::setfsuid(0);
        ::chmod(file.constData(), 0644);
    }
    if (problem >= 0) {
        QVERIFY(opened != usbx::Success);
        QCOMPARE(usbx::openProblems().size(), size_t(1));
        QCOMPARE(int(usbx::openProblems().front().kind), problem);
        return;
    }
    QCOMPARE(opened, usbx::Success);
    unsigned char details[usbx::DeviceQuerySize];
    usbx::queryDevice(handle, details);
    QCOMPARE(usbx::setBaudRate(handle, 115200), usbx::Success);
    QCOMPARE(bed->takeSetups(node), opening);

    PagerLink link;
    const QByteArray line = link.nextCommandLine(QStringLiteral("read_history"));
    if (ask) {
        std::uint32_t written = 0;
        QCOMPARE(
            usbx::write(handle, line.constData(), std::uint32_t(line.size()), &written, nullptr),
            usbx::Success);
        QCOMPARE(int(written), line.size());
    }
    const int submitsBefore = bed->bulkInSubmits(node);
    QByteArray reply(readSize, '\0');
    std::uint32_t received = 0;
    QCOMPARE(usbx::read(handle, reply.data(), std::uint32_t(readSize), &received, nullptr),
             usbx::Success);
    reply.truncate(int(received));
    if (firstRead >= 0)
        QCOMPARE(int(received), firstRead);
    if (ask) {
        while (!reply.endsWith('\r')) { // the rest without another transfer
            QByteArray more(500, '\0');
            QCOMPARE(usbx::read(handle, more.data(), 500, &received, nullptr), usbx::Success);
            QVERIFY(received > 0);
            reply += more.left(int(received));
        }
        QCOMPARE(bed->bulkInSubmits(node), submitsBefore + 1);
        QVERIFY2(reply.size() > 64, reply.constData()); // more than one packet
        QVERIFY2(reply.contains(bed->device(node).serial), reply.constData());
    }
    QCOMPARE(usbx::close(handle), usbx::Success);
    QCOMPARE(usbx::close(handle), usbx::ErrorDevice); // twice: harmless
    QCOMPARE(bed->takeSetups(node), closing);
}

void TestUsbBackend::toolOverUsb()
{
    // The tool over the emulated USB pager prints what it prints over the
    // emulator's socket (same serial number, settings and history).
    const QString end = UsbPagerBed::historyEnd().toString(QStringLiteral("yyyy-MM-ddTHH:mm"));
    QTemporaryDir socketRuntime;
    EmulatorProcess emulator(socketRuntime.path());
    QVERIFY2(emulator.start({"--history-end", end, "--baud", "0"}), qPrintable(emulator.log()));
    QProcessEnvironment socketEnv = QProcessEnvironment::systemEnvironment();
    socketEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), socketRuntime.path());
    socketEnv.remove(QStringLiteral("LD_PRELOAD")); // this side sees no emulated USB
    socketEnv.remove(QStringLiteral("UMOCKDEV_DIR"));

    const auto run = [](const QProcessEnvironment &env, const QStringList &args, int *code) {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(DR7326G_CLI), args + QStringList{QStringLiteral("--no-archive")});
        tool.waitForFinished(60000);
        *code = tool.exitCode();
        return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    };
    QProcessEnvironment usbEnv = QProcessEnvironment::systemEnvironment();
    usbEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime->path());
    // The clocks are read at run time: their times are left out.
    const QRegularExpression clocks(QStringLiteral("\\d\\d:\\d\\d:\\d\\d"));
    for (const QString &command : {QStringLiteral("params"), QStringLiteral("history")}) {
        int usbCode = -1, socketCode = -1;
        QString usb = run(usbEnv, {command}, &usbCode);
        QString socket = run(socketEnv, {command}, &socketCode);
        if (command == QLatin1String("params")) {
            usb.replace(clocks, QStringLiteral("hh:mm:ss"));
            socket.replace(clocks, QStringLiteral("hh:mm:ss"));
        }
        QCOMPARE(usbCode, 0);
        QCOMPARE(socketCode, 0);
        QCOMPARE(usb, socket);
    }
    emulator.stop();

    // Two pagers on USB: the tool asks which one; a trace has every request.
    const QString trace = runtime->filePath(QStringLiteral("usb-trace.txt"));
    int code = -1;
    const QString several = run(usbEnv,
                                {QStringLiteral("params"), QStringLiteral("--usb-id"),
                                 QStringLiteral("1234:0001"), QStringLiteral("--usb-trace"), trace},
                                &code);
    QCOMPARE(code, 2);
    QVERIFY2(several.contains("05A00317\n05A00318"), qPrintable(several));
    QFile traced(trace);
    QVERIFY(traced.open(QIODevice::ReadOnly));
    const QByteArray lines = traced.readAll();
    QVERIFY2(lines.contains("control 41 00 value 0001 index 0000 length 0: ok") &&
                 lines.contains("bulk out 02") && lines.contains("get_ID"),
             lines.constData());

    // A pager found but not opened is told with the fix, never as no pager.
    bed->setSilent("/dev/bus/usb/001/002", true);
    const QString held = run(
        usbEnv, {QStringLiteral("params"), QStringLiteral("--usb-id"), QStringLiteral("1234:0003")},
        &code);
    bed->setSilent("/dev/bus/usb/001/002", false);
    QCOMPARE(code, 3);
    QVERIFY2(held.contains("pager on USB bus 001 device 005, 1234:0003 found but not opened: "
                           "the kernel's driver would not let it go"),
             qPrintable(held));
    QVERIFY2(!held.contains("no pager answered"), qPrintable(held));
}

void TestUsbBackend::windowOverUsb()
{
    // The window reads the parameters and the history of the pager on USB:
    // the same rows as the tool.
    MainWindow window;
    window.findChild<QAction *>(QStringLiteral("menuConnect"))->trigger();
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblSN"))->text(),
             QStringLiteral("SN: 05A00317"));
    const auto status = [&] {
        return window.findChild<QLabel *>(QStringLiteral("lblStatus"))->toolTip();
    };
    QCOMPARE(status(), QStringLiteral("Параметры прочитаны."));
    window.findChild<QAction *>(QStringLiteral("menuReadHistory"))->trigger();
    QVERIFY2(status().startsWith(QStringLiteral("История прочитана: ")), qPrintable(status()));
    const QStringList rows = tableRows(window);

    // A pager found but not opened: the status line tells why and the fix.
    QSettings().setValue(QStringLiteral("usb/ids"), QStringLiteral("1234:0003"));
    bed->setSilent("/dev/bus/usb/001/002", true);
    window.findChild<QAction *>(QStringLiteral("menuConnect"))->trigger();
    bed->setSilent("/dev/bus/usb/001/002", false);
    QSettings().remove(QStringLiteral("usb/ids"));
    QCOMPARE(status(), QStringLiteral("Прибор найден на USB (bus 001 device 005, 1234:0003), но "
                                      "его держит драйвер ядра. Переподключите прибор или "
                                      "выгрузите драйвер: «sudo modprobe -r cp210x»."));

    QProcess tool;
    tool.start(QStringLiteral(DR7326G_CLI),
               {QStringLiteral("history"), QStringLiteral("--no-archive")});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(rows, QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts));
}

int main(int argc, char *argv[])
{
    if (!UsbPagerBed::available()) {
        std::fprintf(stderr, "SKIPPED: not run under umockdev-wrapper (umockdev is needed)\n");
        return 77;
    }
    QTemporaryDir dir; // no sockets: the USB devices alone
    runtime = &dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    qunsetenv("DR7326G_USB_IDS");
    QApplication app(argc, argv);
    UsbPagerBed usb;
    bed = &usb;
    using F = UsbPagerBed::Family;
    usb.add(2, 0x10C4, 0xEA61, F::Firmware, 0x01, "05A00317");
    usb.add(3, 0x1234, 0x0001, F::Cp210x, 0x02, "05A00318");
    usb.add(4, 0x1234, 0x0002, F::Firmware, 0x01, "05A00319").driver = "cp210x";
    UsbPagerBed::Device &holding = usb.add(5, 0x1234, 0x0003, F::Firmware, 0x01, "05A00320");
    holding.driver = "cp210x";
    holding.driverLetsGo = false;
    usb.add(6, 0x1234, 0x0004, F::Firmware, 0x01, "05A00321", false);
    TestUsbBackend test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_usbbackend.moc"
