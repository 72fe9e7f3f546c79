// A scripted USB library for unit tests: linked instead of a real backend.
// A test lays out what each call returns, runs the code under test and then
// reads back every call with its arguments.
#pragma once

#include "usbxpress.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <functional>

namespace usbfake {

enum class Op {
    GetNumDevices,
    GetProductString,
    SetTimeouts,
    Open,
    QueryDevice,
    SetBaudRate,
    Write,
    Read,
    Close
};

struct Call
{
    explicit Call(Op o) : op(o) {}
    Op op;
    std::uint32_t index = 0; // device index (GetProductString, Open)
    usbx::Handle handle = 0; // QueryDevice, SetBaudRate, Write, Read, Close
    std::uint32_t a = 0;     // read time-out, baud rate, buffer length, bytes asked
    std::uint32_t b = 0;     // write time-out, flags
    QByteArray data;         // bytes written
    bool overlappedNull = true;
    bool failed = false; // a read that reported failure
};

struct ReadResult
{
    usbx::Status status = usbx::Success;
    QByteArray bytes;        // at most the size asked; the rest stays for the next read
    usbx::Handle handle = 0; // served only to reads of this handle; 0: to any
};

// Forgets every script and every recorded call.
void reset();

// What libraryProblem() answers (nothing until set).
void setLibraryProblem(const usbx::LibraryProblem &problem);
void setDeviceCount(std::uint32_t count, usbx::Status status = usbx::Success);
void setProductStringStatus(std::uint32_t index, usbx::Status status);
void setOpenStatus(std::uint32_t index, usbx::Status status);
// The handle that opening device `index` yields.
usbx::Handle handleFor(std::uint32_t index);

// Reads are served in order from one queue. When the queue is empty a read
// fails with ErrorTimeout, as a silent device would.
void queueRead(usbx::Status status, const QByteArray &bytes = QByteArray());
// Queues the bytes as successful reads of at most `chunk` bytes each, for
// reads of `handle` only (0: of any handle).
void queueReply(const QByteArray &bytes, int chunk = 500, usbx::Handle handle = 0);
void queueFailure();
// Queues a whole script of reads, as the fuzz targets feed them: the reads are
// separated by the byte 0xFF; an empty piece is a successful read of no byte,
// a piece that is the single byte 0xFE a failed read.
void queueScript(const QByteArray &script);
int pendingReads();

// Called after each write with the bytes written; may queue reads (a pager
// answering what it was sent). With an index, only for the writes to that
// device's handle (several pagers attached at once).
void setResponder(std::function<void(const QByteArray &)> responder);
void setResponder(std::uint32_t index, std::function<void(const QByteArray &)> responder);

const QList<Call> &calls();
QList<Call> callsOf(Op op);
// Every write's bytes in order.
QList<QByteArray> writes();
// The current read and write time-outs as last set.
std::uint32_t readTimeout();
std::uint32_t writeTimeout();
// Handles that are open now.
QList<usbx::Handle> openHandles();

} // namespace usbfake
