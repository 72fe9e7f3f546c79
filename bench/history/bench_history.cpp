// Times decoding history pages and filling the history table.
// Run with QT_QPA_PLATFORM=offscreen where no display is available.
#include "historypage.h"
#include "historytable.h"
#include "pagerlink.h"

#include <QBrush>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLocale>
#include <QStandardItemModel>
#include <QStringList>

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

// The same table filled by sizing the model first and setting every item.
void fillBySetItem(QStandardItemModel *model, const QList<HistoryRecord *> &records)
{
    const int first = model->rowCount();
    model->setRowCount(first + records.size());
    const QBrush red(QColor(255, 0, 0));
    for (int i = 0; i < records.size(); ++i) {
        const QStringList texts = historyRowTexts(*records.at(i));
        for (int c = 0; c < texts.size(); ++c) {
            if (c == 1 && texts.at(c).isEmpty())
                continue;
            model->setItem(first + i, c, new QStandardItem(texts.at(c)));
        }
        if (isAlarmEvent(records.at(i)->eventCode))
            for (int c = 0; c < model->columnCount(); ++c)
                model->setData(model->index(first + i, c), red, Qt::ForegroundRole);
    }
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1.0e6;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    std::printf("%9s %6s %10s %10s %10s %14s\n", "records", "pages", "parse ms", "fill ms",
                "total ms", "setItem ms");
    for (int count : {1000, 10000, 100000}) {
        const QStringList pages = makePages(count);

        QElapsedTimer total;
        total.start();
        QElapsedTimer step;
        step.start();
        QList<HistoryRecord *> records;
        for (const QString &page : pages)
            if (!parseHistoryPageText(page, records))
                break;
        const double parseMs = ms(step);

        step.restart();
        QStandardItemModel model;
        setupHistoryModel(&model);
        fillHistoryTable(&model, records);
        const double fillMs = ms(step);
        const double totalMs = ms(total);

        step.restart();
        QStandardItemModel other;
        setupHistoryModel(&other);
        fillBySetItem(&other, records);
        const double setItemMs = ms(step);

        if (records.size() != count || model.rowCount() != count || other.rowCount() != count) {
            std::fprintf(stderr, "wrong result: %d records, %d rows\n", int(records.size()),
                         model.rowCount());
            return 1;
        }
        std::printf("%9d %6d %10.1f %10.1f %10.1f %14.1f\n", count, int(pages.size()), parseMs,
                    fillMs, totalMs, setItemMs);
        qDeleteAll(records);
    }
    return 0;
}
