// Downloading the pager's event history page by page.
#pragma once

#include "historyrecord.h"
#include "pagerlink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Bounds that end a download when the pager stops answering.
namespace historybounds {
constexpr int maxFailedRequests = 5; // successive requests without a page
constexpr int maxPages = 65536;      // pages in one download
constexpr int maxPageBytes = 1 << 20;
} // namespace historybounds

struct HistoryDownloadResult
{
    bool endReached = false; // the end record arrived
    int pages = 0;           // pages counted in the progress
    int requests = 0;        // page requests sent
    int gaps = 0;            // requests answered by no page, or by a damaged one
    // Every record of the pager is in the list.
    bool complete() const { return endReached && gaps == 0; }
};

// A page whose words are not all 16-bit hexadecimal numbers was damaged on the
// way; its zeros would otherwise end the history early.
bool historyPageIsIntact(const QString &reply);

// Receives every page reply as it arrived, before it is parsed.
using HistoryPageSink = std::function<void(const QByteArray &reply)>;

// Requests pages until the end record, appending the decoded records to
// `records` (the caller owns them). Needs an open connection. After every
// counted page the progress function is called and pending events run once.
HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress,
                                      const HistoryPageSink &sink = HistoryPageSink());

// A saved download: every page reply as received, for reproducing a problem
// without the pager. Text header, then per page "PAGE <n> <bytes>\n", the raw
// bytes and a line feed.
QByteArray historyDumpHeader();
QByteArray historyDumpPage(int index, const QByteArray &reply);
// Splits a dump into its page replies; false with a reason when it is not one.
bool readHistoryDump(const QByteArray &dump, QList<QByteArray> *pages, QString *error);

// Decodes saved page replies as a download would; true when the end record
// was among them and no page before it was missing or damaged.
bool decodeHistoryPages(const QList<QByteArray> &pages, QList<HistoryRecord *> &records);
