// Drives the Windows USB backend (device/usbxpress_win.cpp) as the link does,
// against the stand-in vendor library beside this program, and compares each
// call the library received with the call made through the backend.
//   wine_check.exe current     the library of today: the whole conversation
//   wine_check.exe older       one without SI_GetProductStringSafe: the same
//   wine_check.exe incomplete  one without SI_GetPartNumber: no device, and why
//   wine_check.exe none        no library at all: no device, and why
// Exits 0 when everything went as published, 1 on a wrong status, a differing
// byte or a differing call, 3 on a crash.
#include "checksum.h"
#include "devicefloat.h"
#include "pagerscript.h"
#include "registervalue.h"
#include "usbxpress.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using pagerscript::exchanges;
using ulong = unsigned long;

std::string expected; // the calls as the library should have received them
int failures = 0;
usbx::Handle handle = 0;

std::string format(const char *format, va_list args)
{
    char text[240];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

void expect(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    expected += ::format(format, args) + '\n';
    va_end(args);
}

bool check(bool ok, const char *format, ...)
{
    if (!ok) {
        va_list args;
        va_start(args, format);
        std::fprintf(stderr, "FAIL: %s\n", ::format(format, args).c_str());
        va_end(args);
        ++failures;
    }
    return ok;
}

const char *h()
{
    return handle ? "H" : "NULL";
}

// One text line of the pager's protocol, checksum, line feed and carriage return.
std::string commandLine(const char *serial, unsigned number, const char *word)
{
    char line[96];
    std::snprintf(line, sizeof line, "DR_Pager#%s $%04x %s CRC=", serial, number, word);
    const unsigned crc = crc16(line, std::uint16_t(std::strlen(line)), 0xFFFF) ^ 0xFFFF;
    char tail[8];
    std::snprintf(tail, sizeof tail, "%04X\n\r", crc);
    return std::string(line) + tail;
}

// A register frame: '#', length, operation, address, data size, data, CRC-16/MCRF4XX.
std::string registerFrame(char op, std::uint16_t address, std::uint8_t size,
                          const std::string &data)
{
    const std::size_t length = 8 + data.size();
    std::string f{'#',       char(length & 0xFF),  char(length >> 8),
                  op,        char(address & 0xFF), char(address >> 8),
                  char(size)};
    f += data;
    const std::uint16_t crc = crc16(f.data(), std::uint16_t(f.size()), 0xFFFF);
    return f + char(crc & 0xFF) + char(crc >> 8);
}

void send(const std::string &bytes)
{
    std::uint32_t written = 0;
    const usbx::Status s =
        usbx::write(handle, bytes.data(), std::uint32_t(bytes.size()), &written, nullptr);
    expect("SI_Write(%s, ptr, %lu, ptr, NULL) = %lu -> %lu", h(), ulong(bytes.size()), ulong(s),
           ulong(written));
    check(s == usbx::Success && written == bytes.size(), "write: status %lu, %lu of %lu bytes",
          ulong(s), ulong(written), ulong(bytes.size()));
}

// One read of at most 500 bytes, as the link reads; the bytes are appended.
usbx::Status receive(std::string &into, std::uint32_t *got)
{
    char buffer[500];
    *got = 0;
    const usbx::Status s = usbx::read(handle, buffer, sizeof buffer, got, nullptr);
    expect("SI_Read(%s, ptr, 500, ptr, NULL) = %lu -> %lu", h(), ulong(s), ulong(*got));
    if (s == usbx::Success && check(*got <= sizeof buffer, "read: %lu bytes", ulong(*got)))
        into.append(buffer, *got);
    return s;
}

void compare(const std::string &got, const pagerscript::Exchange &e)
{
    const std::string want(e.reply, e.replySize);
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    check(got == want, "%s: reply differs from byte %lu on (%lu bytes, %lu expected)", e.what,
          ulong(at), ulong(got.size()), ulong(want.size()));
}

// A text exchange: reads until the reply holds a line feed.
std::string textExchange(const std::string &line, const pagerscript::Exchange &e)
{
    send(line);
    std::string reply;
    std::uint32_t got = 0;
    for (int reads = 0; reply.find('\n') == std::string::npos && reads < 20; ++reads)
        if (!check(receive(reply, &got) == usbx::Success, "%s: a read failed", e.what))
            break;
    compare(reply, e);
    return reply;
}

// A register exchange: one read, the whole reply.
std::string registerExchange(const std::string &frame, const pagerscript::Exchange &e)
{
    send(frame);
    std::string reply;
    std::uint32_t got = 0;
    check(receive(reply, &got) == usbx::Success, "%s: the read failed", e.what);
    compare(reply, e);
    return reply;
}

// A history page: read until the pager stops sending.
void historyPage(unsigned number, const pagerscript::Exchange &e)
{
    send(commandLine(pagerscript::serialNumber, number, "read_history"));
    std::string page;
    std::uint32_t got = 0;
    check(receive(page, &got) == usbx::Success && got > 0, "%s: the first read failed", e.what);
    for (int reads = 0; reads < 20 && receive(page, &got) == usbx::Success && got > 0; ++reads) {
    }
    compare(page, e);
}

void conversation(bool older)
{
    std::uint32_t count = 0;
    usbx::Status s = usbx::getNumDevices(&count);
    expect("SI_GetNumDevices(ptr) = %lu -> %lu", ulong(s), ulong(count));
    check(s == usbx::Success && count == 1, "device count: status %lu, %lu devices", ulong(s),
          ulong(count));

    char description[usbx::ProductStringSize];
    s = usbx::getProductString(0, description, usbx::ProductStringSize, 0);
    if (older)
        expect("SI_GetProductString(0, ptr, 0) = %lu", ulong(s));
    else
        expect("SI_GetProductStringSafe(0, ptr, 256, 0) = %lu", ulong(s));
    check(s == usbx::Success && std::strcmp(description, pagerscript::bridgeSerial) == 0,
          "device string: status %lu", ulong(s));

    s = usbx::setTimeouts(1000, 1000);
    expect("SI_SetTimeouts(1000, 1000) = %lu", ulong(s));
    s = usbx::open(0, &handle);
    expect("SI_Open(0, ptr) = %lu", ulong(s));
    check(s == usbx::Success && handle != 0, "open: status %lu", ulong(s));

    unsigned char details[usbx::DeviceQuerySize];
    s = usbx::queryDevice(handle, details);
    expect("SI_GetPartNumber(%s, ptr) = %lu", h(), ulong(s));
    int written = 0;
    for (unsigned char c : details)
        written += c != 0;
    check(s == usbx::Success && details[0] == pagerscript::partNumber && written == 1,
          "device query: status %lu, first byte 0x%02X", ulong(s), details[0]);
    s = usbx::setBaudRate(handle, 115200);
    expect("SI_SetBaudRate(%s, 115200) = %lu", h(), ulong(s));

    const std::string id = textExchange(commandLine("12345678", 1, "get_ID"), exchanges[0]);
    check(id.compare(38, 8, pagerscript::serialNumber) == 0, "identification: no serial number");

    const std::string value = registerExchange(registerFrame('R', 0x0070, 4, ""), exchanges[1]);
    if (value.size() == 10) {
        const float threshold = decodeDeviceFloat(
            deviceWordFromWireOrder(reinterpret_cast<const std::uint8_t *>(&value[4])));
        check(threshold == pagerscript::threshold, "threshold read as %g", double(threshold));
    }
    const std::int32_t tenths = sigmaTenths(pagerscript::gammaSigma);
    const std::string accepted = registerExchange(
        registerFrame('W', 0x0002, 2, {char(tenths & 0xFF), char((tenths >> 8) & 0xFF)}),
        exchanges[2]);
    check(accepted.size() == 7 && accepted[4] == 0, "gamma sigmas not accepted");

    for (unsigned page = 0; page < pagerscript::historyPages; ++page)
        historyPage(pagerscript::firstPageRequest + page, exchanges[3 + page]);

    s = usbx::setTimeouts(usbx::NoTimeout, usbx::NoTimeout);
    expect("SI_SetTimeouts(4294967295, 4294967295) = %lu", ulong(s));
    s = usbx::close(handle);
    expect("SI_Close(%s) = %lu", h(), ulong(s));
    check(s == usbx::Success, "close: status %lu", ulong(s));
    check(usbx::libraryProblem().kind == usbx::LibraryProblem::Kind::None,
          "a usable library reported as a problem");
}

// The calls the library received, line by line against the calls made.
void compareJournal()
{
    using JournalFn = const char *(*)();
    const auto journal = reinterpret_cast<JournalFn>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"SiUSBXp.dll"), "standin_journal")));
    if (!check(journal != nullptr, "the stand-in library is not loaded"))
        return;
    const std::string received = journal();
    std::size_t a = 0, b = 0;
    for (int call = 1; a < received.size() || b < expected.size(); ++call) {
        const std::size_t ea = received.find('\n', a), eb = expected.find('\n', b);
        const std::string got = received.substr(a, ea - a), want = expected.substr(b, eb - b);
        if (!check(got == want,
                   "call %d: the library received\n    %s\n  the backend was asked for\n    %s",
                   call, got.c_str(), want.c_str()))
            break;
        a = ea == std::string::npos ? ea : ea + 1;
        b = eb == std::string::npos ? eb : eb + 1;
    }
    std::printf("Calls the library received:\n%s", received.c_str());
}

// Without a usable library the device count fails, and the problem says why.
void unusable(bool present)
{
    std::uint32_t count = 0;
    const usbx::Status s = usbx::getNumDevices(&count);
    check(s != usbx::Success, "device count succeeded without a usable library");
    const usbx::LibraryProblem p = usbx::libraryProblem();
    std::printf("Library problem: kind %d, library \"%s\", entry point \"%s\", error %lu\n",
                int(p.kind), p.library.c_str(), p.entryPoint.c_str(), ulong(p.systemError));
    if (!present) {
        check(p.kind == usbx::LibraryProblem::Kind::NotLoaded && p.library == "SiUSBXp.dll" &&
                  p.systemError == ERROR_MOD_NOT_FOUND,
              "a missing library not reported as such");
        return;
    }
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string beside(exe, n);
    beside = beside.substr(0, beside.rfind('\\') + 1) + "SiUSBXp.dll";
    check(p.kind == usbx::LibraryProblem::Kind::MissingEntryPoint &&
              p.entryPoint == "SI_GetPartNumber" &&
              lstrcmpiA(p.library.c_str(), beside.c_str()) == 0,
          "the incomplete library not named with its path and missing entry point");
    check(GetModuleHandleW(L"SiUSBXp.dll") == nullptr, "the unusable library stays loaded");
}

LONG WINAPI crashed(EXCEPTION_POINTERS *e)
{
    std::fprintf(stderr, "CRASH: exception 0x%08lX at %p\n",
                 ulong(e->ExceptionRecord->ExceptionCode), e->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ExitProcess(3);
}

} // namespace

int main(int argc, char **argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(crashed);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int bits = int(sizeof(void *) * 8);
    if (mode == "current" || mode == "older") {
        conversation(mode == "older");
        compareJournal();
    } else if (mode == "incomplete" || mode == "none") {
        unusable(mode == "incomplete");
    } else {
        std::fprintf(stderr, "usage: wine_check.exe current|older|incomplete|none\n");
        return 2;
    }
    std::printf("%s: %d-bit backend, %s library\n", failures ? "FAILED" : "PASSED", bits,
                mode.c_str());
    std::fflush(stdout);
    return failures ? 1 : 0;
}
