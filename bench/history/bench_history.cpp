// Times decoding history pages and filling the history table, and reading a
// saved dump of the same pages: the file read back, its pages decoded in the
// zone it names, and the table filled with that zone's dates.
// Run with QT_QPA_PLATFORM=offscreen where no display is available.
#include "historydump.h"
#include "historypage.h"
#include "historytable.h"
#include "pagerlink.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLocale>
#include <QStandardItemModel>
#include <QStringList>
#include <QVector>

#include <cstdio>

namespace {

constexpr int recordsPerPage = 16;

QString word(unsigned w)
{
    return QStringLiteral("%1").arg(w & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

// Page replies holding `count` records followed by the end record.
QStringList makePages(int count)
{
    const char codes[] = {'F', 'F', 'F', 'N', '1', 'A', 'e', 'S'};
    QStringList pages;
    QStringList words;
    int block = 1;
    auto flush = [&]() {
        pages << QStringLiteral("DR_Pager#05A00317 $%1 READ_HISTORY BLK=%2 %3 CRC=ABCD\n\r")
                     .arg(block + 2, 4, 16, QLatin1Char('0'))
                     .arg(block, 4, 16, QLatin1Char('0'))
                     .arg(words.join(QLatin1Char(' ')));
        words.clear();
        ++block;
    };
    for (int i = 0; i <= count; ++i) {
        const unsigned minutes = i == count ? 0 : unsigned(i + 1) * 10;
        const char code = codes[i % 8];
        const std::uint32_t rate = encodeDeviceFloatWord(1.0e-7f * float(i % 100 + 1));
        const std::uint32_t dose = encodeDeviceFloatWord(1.0e-4f * float(i + 1));
        words << word(minutes) << word((unsigned(std::uint8_t(code)) << 8) | (minutes >> 16))
              << word(unsigned(i % 500)) << word(encodeDeviceFloatWord(float(i % 7)) >> 16)
              << word(rate >> 16) << word(rate) << word(dose >> 16) << word(dose);
        if (words.size() == 8 * recordsPerPage)
            flush();
    }
    if (!words.isEmpty())
        flush();
    return pages;
}

// Two ways of putting the same cell texts into a model, to compare the
// insertion alone: a row at a time, or sizing the model first.
void insertByAppendRow(QStandardItemModel *model, const QVector<QStringList> &rows)
{
    QList<QStandardItem *> items;
    for (const QStringList &texts : rows) {
        items.clear();
        for (const QString &text : texts)
            items.append(text.isEmpty() ? nullptr : new QStandardItem(text));
        model->appendRow(items);
    }
}

void insertBySetItem(QStandardItemModel *model, const QVector<QStringList> &rows)
{
    model->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c)
            if (!rows.at(r).at(c).isEmpty())
                model->setItem(r, c, new QStandardItem(rows.at(r).at(c)));
}

QVector<QStringList> cellTexts(const QStandardItemModel &model)
{
    QVector<QStringList> rows;
    rows.reserve(model.rowCount());
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < model.columnCount(); ++c)
            texts << (model.item(r, c) ? model.item(r, c)->text() : QString());
        rows << texts;
    }
    return rows;
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1.0e6;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    std::printf("Decoding pages as the download does and filling the table (ms); then\n"
                "inserting the same texts alone (ms, model built and destroyed) row by row\n"
                "and by sizing first; then a dump of the pages in another zone (ms): read\n"
                "back from its bytes, decoded, table filled.\n");
    std::printf("%9s %6s %10s %10s %10s %12s %12s %10s %10s %10s\n", "records", "pages", "parse",
                "fill", "total", "appendRow", "setItem", "dumpRead", "decode", "fillZone");
    for (int count : {1000, 10000, 100000}) {
        const QStringList texts = makePages(count);
        QList<QByteArray> pages;
        for (const QString &text : texts)
            pages << text.toUtf8();

        QElapsedTimer total;
        total.start();
        QElapsedTimer step;
        step.start();
        QList<HistoryRecord *> records;
        HistoryPageReader reader(deviceEpoch().toSecsSinceEpoch(), records);
        for (const QByteArray &page : pages) {
            reader.take(page);
            if (reader.endReached())
                break;
        }
        const double parseMs = ms(step);

        step.restart();
        QStandardItemModel model;
        setupHistoryModel(&model);
        fillHistoryTable(&model, records);
        const double fillMs = ms(step);
        const double totalMs = ms(total);

        const QVector<QStringList> cells = cellTexts(model);
        step.restart();
        {
            QStandardItemModel other;
            setupHistoryModel(&other);
            insertByAppendRow(&other, cells);
        }
        const double appendMs = ms(step);
        step.restart();
        {
            QStandardItemModel other;
            setupHistoryModel(&other);
            insertBySetItem(&other, cells);
        }
        const double setItemMs = ms(step);

        HistoryDump dump;
        dump.timeZoneId = "Asia/Tokyo";
        dump.pages = pages;
        const QByteArray dumpBytes = historyDumpBytes(dump);
        step.restart();
        HistoryDump reopened;
        const bool read = readHistoryDump(dumpBytes, &reopened, nullptr);
        const double dumpReadMs = ms(step);
        step.restart();
        QList<HistoryRecord *> decoded;
        decodeHistoryDump(reopened, decoded);
        const double decodeMs = ms(step);
        step.restart();
        {
            QStandardItemModel zoned;
            setupHistoryModel(&zoned);
            fillHistoryTable(&zoned, decoded, reopened.timeZone());
        }
        const double fillZoneMs = ms(step);
        const bool dumpOk = read && decoded.size() == count;
        qDeleteAll(decoded);

        if (records.size() != count || model.rowCount() != count || !dumpOk) {
            std::fprintf(stderr, "wrong result: %d records, %d rows\n", int(records.size()),
                         model.rowCount());
            return 1;
        }
        std::printf("%9d %6d %10.1f %10.1f %10.1f %12.1f %12.1f %10.1f %10.1f %10.1f\n", count,
                    int(pages.size()), parseMs, fillMs, totalMs, appendMs, setItemMs, dumpReadMs,
                    decodeMs, fillZoneMs);
        qDeleteAll(records);
    }
    return 0;
}
