// What the emulated pager knows and how it answers one request. No sockets
// here: the serving loop hands in whole requests and sends back the replies.
#pragma once

#include "historygen.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// Fixed for the whole run.
struct PagerProfile
{
    QByteArray serial = "05A00317"; // 8 characters
    int recordsPerPage = 16;
    // Faults. Pages are counted from 1, as in the page replies.
    int garbledPage = 0; // that page's second record comes as non-hex words, checksum stale
    int noBlkPage = 0;   // that page comes without its "BLK=" field
    bool noEnd = false;  // no end record: the last page of records is sent again and again
    bool refuseWrites = false;
    int staleChecksumPage = 0; // that page's words come whole, its checksum stale
};

// Register addresses of the alarm settings.
namespace pagerreg {
constexpr std::uint16_t gammaSigma = 0x0002;        // 2 bytes, tenths
constexpr std::uint16_t neutronSigma = 0x0020;      // 2 bytes, tenths
constexpr std::uint16_t doseRateThreshold = 0x0070; // 4 bytes, device float, wire order
} // namespace pagerreg

struct PagerReply
{
    QByteArray bytes;
    QString summary;      // for the log
    bool isFrame = false; // a register reply (the faults split those)
};

class PagerState
{
public:
    // The PC's local time as minutes since 1999-01-01 00:00:00.
    using MinuteClock = std::function<std::int64_t()>;

    PagerState(const PagerProfile &profile, std::vector<HistoryEntry> history,
               MinuteClock pcMinutes);

    // Settings the pager keeps while it runs.
    std::uint16_t gammaSigmaTenths = 30;
    std::uint16_t neutronSigmaTenths = 35;
    std::uint32_t thresholdWord; // device float word of 1.0e-5 Sv/h
    std::uint16_t intervalMinutes = 10;
    std::int64_t clockOffsetMinutes = 0; // device clock minus PC clock

    // A new connection: the history is read from its first page again.
    void beginConnection() { nextPage = 0; }

    PagerReply answerText(const QByteArray &line);
    PagerReply answerFrame(const QByteArray &frame);

    std::int64_t clockMinutes() const;
    // Pages of the history including the one with the end record.
    int pageCount() const;
    const std::vector<HistoryEntry> &history() const { return records; }

    // The page line of the 0-based page, faults applied, as sent for a request
    // whose reply starts with `header` ("DR_Pager#<serial> $<number>").
    QByteArray historyPageLine(const QByteArray &header, int index) const;

private:
    PagerReply lineReply(const QByteArray &header, const QByteArray &text) const;
    PagerReply readHistoryPage(const QByteArray &header);

    PagerProfile profile;
    std::vector<HistoryEntry> records;
    MinuteClock pcMinutes;
    int nextPage = 0;
};
