#include "historydownload.h"

#include "historypage.h"

#include <QCoreApplication>

namespace {

constexpr int receiveBufferSize = 500;
const QByteArray dumpMagic = QByteArrayLiteral("DR7326G-05A history dump 1\n");

} // namespace

HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress, const HistoryPageSink &sink)
{
    HistoryDownloadResult result;
    int failedRequests = 0;
    char buffer[receiveBufferSize];

    while (failedRequests < historybounds::maxFailedRequests &&
           result.pages < historybounds::maxPages) {
        link.writeBytes(link.nextCommandLine(QStringLiteral("read_history")));
        ++result.requests;

        std::uint32_t got = 0;
        if (usbx::read(link.usbHandle, buffer, receiveBufferSize, &got, nullptr) != usbx::Success) {
            ++failedRequests; // nothing came: ask again
            if (result.requests > 1)
                ++result.gaps; // a page may have been sent and lost
            continue;
        }
        // The reply is complete when the pager stops sending: a read that
        // fails (time-out) or that brings nothing.
        QByteArray reply(buffer, int(got));
        bool counted = false;
        bool overlong = false;
        for (;;) {
            if (usbx::read(link.usbHandle, buffer, receiveBufferSize, &got, nullptr) !=
                usbx::Success) {
                counted = true;
                break;
            }
            if (got == 0)
                break;
            reply.append(buffer, int(got));
            if (reply.size() > historybounds::maxPageBytes) {
                overlong = true;
                break;
            }
        }
        if (counted) {
            ++result.pages;
            if (progress)
                progress(result.pages);
        }
        if (sink)
            sink(reply);

        const QString text = QString::fromUtf8(reply);
        if (overlong || !isHistoryPage(text)) {
            ++failedRequests; // not a page: no record, ask again
            ++result.gaps;
        } else if (!historyPageIsIntact(text)) {
            failedRequests = 0; // the pager answers, but this page is lost
            ++result.gaps;
        } else {
            failedRequests = 0;
            if (!parseHistoryPageText(text, records))
                result.endReached = true;
        }
        if (counted && QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (result.endReached)
            break;
    }
    return result;
}

bool PagerLink::readHistory(QList<HistoryRecord *> &records, HistoryProgressFunction progress)
{
    return downloadHistory(*this, records, progress).complete();
}

bool PagerLink::parseHistoryPage(const QString &page, QList<HistoryRecord *> &records)
{
    return parseHistoryPageText(page, records);
}

bool historyPageIsIntact(const QString &reply)
{
    const int blk = reply.indexOf(QLatin1String("BLK="));
    if (blk < 0)
        return false;
    int end = reply.indexOf(QLatin1String("CRC="), blk + 9);
    if (end < 0)
        end = reply.size();
    const QStringList pieces = reply.mid(blk + 9, end - (blk + 9)).split(QLatin1Char(' '));
    for (int i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        // The space before "CRC=" leaves one empty piece at the end; the
        // reply's line end may follow the last word when "CRC=" is missing.
        const QString word = i == pieces.size() - 1 ? piece.trimmed() : piece;
        if (word.isEmpty() && i == pieces.size() - 1)
            continue;
        bool ok = false;
        word.toUShort(&ok, 16);
        if (!ok)
            return false;
    }
    return true;
}

QByteArray historyDumpHeader()
{
    return dumpMagic;
}

QByteArray historyDumpPage(int index, const QByteArray &reply)
{
    return "PAGE " + QByteArray::number(index) + ' ' + QByteArray::number(reply.size()) + '\n' +
           reply + '\n';
}

bool readHistoryDump(const QByteArray &dump, QList<QByteArray> *pages, QString *error)
{
    pages->clear();
    if (!dump.startsWith(dumpMagic)) {
        if (error)
            *error = QStringLiteral("not a history dump");
        return false;
    }
    int at = dumpMagic.size();
    while (at < dump.size()) {
        const int eol = dump.indexOf('\n', at);
        const QList<QByteArray> head = dump.mid(at, eol < 0 ? -1 : eol - at).split(' ');
        bool ok = false;
        const int length = head.size() == 3 && head[0] == "PAGE" ? head[2].toInt(&ok) : -1;
        if (eol < 0 || !ok || length < 0 || eol + 1 + length + 1 > dump.size() ||
            dump.at(eol + 1 + length) != '\n') {
            if (error)
                *error = QStringLiteral("damaged page record at byte %1").arg(at);
            return false;
        }
        pages->append(dump.mid(eol + 1, length));
        at = eol + 1 + length + 1;
    }
    return true;
}

bool decodeHistoryPages(const QList<QByteArray> &pages, QList<HistoryRecord *> &records)
{
    bool complete = true;
    for (const QByteArray &reply : pages) {
        const QString text = QString::fromUtf8(reply);
        if (!isHistoryPage(text) || !historyPageIsIntact(text)) {
            complete = false;
            continue;
        }
        if (!parseHistoryPageText(text, records))
            return complete;
    }
    return false;
}
