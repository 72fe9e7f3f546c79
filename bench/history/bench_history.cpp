// Times decoding history pages and filling the history table.
// Run with QT_QPA_PLATFORM=offscreen where no display is available.
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
    std::printf("Decoding pages and filling the table (ms); then inserting the same texts\n"
                "alone (ms, model built and destroyed) row by row and by sizing first.\n");
    std::printf("%9s %6s %10s %10s %10s %12s %12s\n", "records", "pages", "parse", "fill", "total",
                "appendRow", "setItem");
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

        const QVector<QStringList> texts = cellTexts(model);
        step.restart();
        {
            QStandardItemModel other;
            setupHistoryModel(&other);
            insertByAppendRow(&other, texts);
        }
        const double appendMs = ms(step);
        step.restart();
        {
            QStandardItemModel other;
            setupHistoryModel(&other);
            insertBySetItem(&other, texts);
        }
        const double setItemMs = ms(step);

        if (records.size() != count || model.rowCount() != count) {
            std::fprintf(stderr, "wrong result: %d records, %d rows\n", int(records.size()),
                         model.rowCount());
            return 1;
        }
        std::printf("%9d %6d %10.1f %10.1f %10.1f %12.1f %12.1f\n", count, int(pages.size()),
                    parseMs, fillMs, totalMs, appendMs, setItemMs);
        qDeleteAll(records);
    }
    return 0;
}
