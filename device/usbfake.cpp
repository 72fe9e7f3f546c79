#include "usbfake.h"

#include <QSet>

#include <cstring>

namespace usbfake {
namespace {

struct State
{
    std::uint32_t deviceCount = 0;
    usbx::Status countStatus = usbx::Success;
    QMap<std::uint32_t, usbx::Status> productStatus;
    QMap<std::uint32_t, usbx::Status> openStatus;
    QList<ReadResult> reads;
    QList<Call> calls;
    std::function<void(const QByteArray &)> responder;
    QMap<usbx::Handle, std::function<void(const QByteArray &)>> deviceResponders;
    std::uint32_t readTimeout = usbx::NoTimeout;
    std::uint32_t writeTimeout = usbx::NoTimeout;
    QSet<usbx::Handle> open;
    usbx::LibraryProblem libraryProblem;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

void reset()
{
    state() = State();
}

void setLibraryProblem(const usbx::LibraryProblem &problem)
{
    state().libraryProblem = problem;
}

void setDeviceCount(std::uint32_t count, usbx::Status status)
{
    state().deviceCount = count;
    state().countStatus = status;
}

void setProductStringStatus(std::uint32_t index, usbx::Status status)
{
    state().productStatus[index] = status;
}

void setOpenStatus(std::uint32_t index, usbx::Status status)
{
    state().openStatus[index] = status;
}

usbx::Handle handleFor(std::uint32_t index)
{
    return 0x1000 + index;
}

void queueRead(usbx::Status status, const QByteArray &bytes)
{
    state().reads.append({status, bytes});
}

void queueReply(const QByteArray &bytes, int chunk, usbx::Handle handle)
{
    for (int at = 0; at < bytes.size(); at += chunk)
        state().reads.append({usbx::Success, bytes.mid(at, chunk), handle});
}

void queueFailure()
{
    queueRead(usbx::ErrorTimeout);
}

void queueScript(const QByteArray &script)
{
    for (const QByteArray &piece : script.split(char(0xFF))) {
        if (piece == QByteArray(1, char(0xFE)))
            queueFailure();
        else
            queueRead(usbx::Success, piece);
    }
}

int pendingReads()
{
    return state().reads.size();
}

void setResponder(std::function<void(const QByteArray &)> responder)
{
    state().responder = std::move(responder);
}

void setResponder(std::uint32_t index, std::function<void(const QByteArray &)> responder)
{
    state().deviceResponders[handleFor(index)] = std::move(responder);
}

const QList<Call> &calls()
{
    return state().calls;
}

QList<Call> callsOf(Op op)
{
    QList<Call> out;
    for (const Call &c : state().calls)
        if (c.op == op)
            out.append(c);
    return out;
}

QList<QByteArray> writes()
{
    QList<QByteArray> out;
    for (const Call &c : state().calls)
        if (c.op == Op::Write)
            out.append(c.data);
    return out;
}

std::uint32_t readTimeout()
{
    return state().readTimeout;
}
std::uint32_t writeTimeout()
{
    return state().writeTimeout;
}
QList<usbx::Handle> openHandles()
{
    return state().open.values();
}

} // namespace usbfake

namespace usbx {

using usbfake::Call;
using usbfake::Op;
using usbfake::state;

Status getNumDevices(std::uint32_t *count)
{
    Call c{Op::GetNumDevices};
    state().calls.append(c);
    if (state().countStatus != Success)
        return state().countStatus;
    *count = state().deviceCount;
    return Success;
}

Status getProductString(std::uint32_t index, char *buffer, std::uint32_t length,
                        std::uint32_t flags)
{
    Call c{Op::GetProductString};
    c.index = index;
    c.a = length;
    c.b = flags;
    state().calls.append(c);
    const Status s = state().productStatus.value(index, Success);
    if (s == Success && buffer && length > 0)
        std::strncpy(buffer, "DR7326G-05A fake", length - 1), buffer[length - 1] = 0;
    return s;
}

Status setTimeouts(std::uint32_t readMs, std::uint32_t writeMs)
{
    Call c{Op::SetTimeouts};
    c.a = readMs;
    c.b = writeMs;
    state().calls.append(c);
    state().readTimeout = readMs;
    state().writeTimeout = writeMs;
    return Success;
}

Status open(std::uint32_t index, Handle *handle)
{
    Call c{Op::Open};
    c.index = index;
    state().calls.append(c);
    const Status s = state().openStatus.value(index, Success);
    if (s == Success) {
        *handle = usbfake::handleFor(index);
        state().open.insert(*handle);
    }
    return s;
}

Status queryDevice(Handle handle, unsigned char *buffer)
{
    Call c{Op::QueryDevice};
    c.handle = handle;
    state().calls.append(c);
    if (buffer)
        std::memset(buffer, 0, DeviceQuerySize);
    return Success;
}

Status setBaudRate(Handle handle, std::uint32_t baud)
{
    Call c{Op::SetBaudRate};
    c.handle = handle;
    c.a = baud;
    state().calls.append(c);
    return Success;
}

Status write(Handle handle, const void *data, std::uint32_t count, std::uint32_t *written,
             void *overlapped)
{
    Call c{Op::Write};
    c.handle = handle;
    c.data = QByteArray(static_cast<const char *>(data), int(count));
    c.overlappedNull = overlapped == nullptr;
    state().calls.append(c);
    if (written)
        *written = count;
    const auto own = state().deviceResponders.constFind(handle);
    if (own != state().deviceResponders.constEnd())
        (*own)(c.data);
    else if (state().responder)
        state().responder(c.data);
    return Success;
}

Status read(Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received,
            void *overlapped)
{
    Call c{Op::Read};
    c.handle = handle;
    c.a = size;
    c.overlappedNull = overlapped == nullptr;
    state().calls.append(c);
    *received = 0;
    QList<usbfake::ReadResult> &reads = state().reads;
    int at = 0;
    while (at < reads.size() && reads.at(at).handle != 0 && reads.at(at).handle != handle)
        ++at;
    if (at == reads.size() || reads.at(at).status != Success)
        state().calls.last().failed = true;
    if (at == reads.size())
        return ErrorTimeout;
    usbfake::ReadResult &next = reads[at];
    if (next.status != Success) {
        const Status s = next.status;
        reads.removeAt(at);
        return s;
    }
    const int n = qMin(int(size), next.bytes.size());
    std::memcpy(buffer, next.bytes.constData(), size_t(n));
    *received = std::uint32_t(n);
    if (n < next.bytes.size())
        next.bytes.remove(0, n);
    else
        reads.removeAt(at);
    return Success;
}

Status close(Handle handle)
{
    Call c{Op::Close};
    c.handle = handle;
    state().calls.append(c);
    state().open.remove(handle);
    return Success;
}

LibraryProblem libraryProblem()
{
    return state().libraryProblem;
}

} // namespace usbx

namespace usbx {

void configure(const UsbSettings & /*settings*/) {}

std::vector<OpenProblem> openProblems()
{
    return {};
}

std::string searchSummary()
{
    return std::string();
}

} // namespace usbx
