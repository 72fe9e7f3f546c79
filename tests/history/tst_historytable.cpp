// The six-column history table: cell texts, empty cells, red alarm rows and
// magenta threshold rows.
#include "historypage.h"
#include "historytable.h"
#include "historytablemodel.h"
#include "historywords.h"
#include "pagerlink.h"

#include <QBrush>
#include <QtTest>

#include <limits>

using namespace historywords;

namespace {

struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
};

HistoryRecord fromWords(const QList<std::uint16_t> &words)
{
    QByteArray bytes;
    for (std::uint16_t w : words) {
        bytes.append(char(w & 0xFF));
        bytes.append(char(w >> 8));
    }
    return decodeStoredRecord(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                              deviceEpoch());
}

HistoryRecord makeRecord(std::uint32_t minutes, char code, std::uint16_t gamma = 1,
                         float neutron = 1.0f, float doseRate = 1.0e-7f, float dose = 1.0e-3f)
{
    HistoryRecord r;
    r.time = std::uint32_t(deviceEpoch().addSecs(qint64(minutes) * 60).toSecsSinceEpoch());
    r.eventCode = code;
    r.gammaCps = gamma;
    r.neutronCps = neutron;
    r.doseRate = doseRate;
    r.dose = dose;
    return r;
}

QString dateText(std::uint32_t minutes)
{
    return QLocale::system().toString(deviceEpoch().addSecs(qint64(minutes) * 60),
                                      QLocale::ShortFormat);
}

const QBrush red(QColor(255, 0, 0));

} // namespace

class TstHistoryTable : public QObject
{
    Q_OBJECT
private slots:
    // Times of one wall-clock hour share its text but for the minutes (and
    // seconds): each text against Qt's own, every 37 s over hours that hold
    // a change of the offset (a whole hour, half an hour) and in zones of a
    // fixed offset or the PC's own. Run in the C and the Russian locale.
    void datesAcrossHours_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("from"); // UTC
        QTest::newRow("PC's zone") << QTimeZone::systemTimeZoneId() << qint64(1616893200);
        QTest::newRow("UTC") << QByteArray("UTC") << qint64(1616893200);
        QTest::newRow("Sao Paulo, summer time ends")
            << QByteArray("America/Sao_Paulo") << qint64(1550372400);
        QTest::newRow("Lord Howe, half an hour back")
            << QByteArray("Australia/Lord_Howe") << qint64(1617464400);
        QTest::newRow("Kolkata, +05:30") << QByteArray("Asia/Kolkata") << qint64(1616893200);
    }
    void datesAcrossHours()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, from);
        const QTimeZone z(zone);
        const bool pcZone = zone == QTimeZone::systemTimeZoneId();
        const HistoryDateTexts dates(z);
        for (qint64 t = from; t < from + 4 * 3600; t += 37) {
            const QDateTime at =
                pcZone ? QDateTime::fromSecsSinceEpoch(t) : QDateTime::fromSecsSinceEpoch(t, z);
            QCOMPARE(dates.text(std::uint32_t(t)),
                     QLocale::system().toString(at, QLocale::ShortFormat));
        }
    }

    void headerLabels()
    {
        const QStringList labels{
            "Дата",       "Событие", "CPS гамма (имп/с)", "CPS нейтроны (имп/с)",
            "МЭД (Зв/ч)", "ЭД (Зв)"};
        QCOMPARE(historyHeaderLabels(), labels);
        HistoryTableModel model;
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.rowCount(), 0);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), labels.at(c));
    }

    void rowTexts_data()
    {
        QTest::addColumn<QList<std::uint16_t>>("words");
        QTest::addColumn<uint>("minutes");
        QTest::addColumn<QStringList>("texts"); // columns 1 to 5

        QTest::newRow("background")
            << QList<std::uint16_t>{0x0001, 0x4600, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}
            << 1u << QStringList{"Фон", "5", "1.00", "5.00e-01", "1.00e+00"};
        QTest::newRow("neutron alarm")
            << QList<std::uint16_t>{0x05A0, 0x4E01, 0x00C8, 0x8140, 0x6B4C, 0xCCCD, 0x7D20, 0x0000}
            << 66976u << QStringList{"Тревога нейтронная", "200", "3.00", "7.63e-07", "1.56e-01"};
        QTest::newRow("gamma alarm")
            << QList<std::uint16_t>{0x0001, 0x4100, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}
            << 1u << QStringList{"Тревога гамма", "5", "1.00", "5.00e-01", "1.00e+00"};
        QTest::newRow("threshold exceeded")
            << QList<std::uint16_t>{0x0001, 0x6500, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}
            << 1u << QStringList{"Превышение порога МЭД", "5", "1.00", "5.00e-01", "1.00e+00"};
        QTest::newRow("unknown code")
            << QList<std::uint16_t>{0x0001, 0x5800, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}
            << 1u << QStringList{"", "5", "1.00", "5.00e-01", "1.00e+00"};
        QTest::newRow("largest minutes, zero values")
            << QList<std::uint16_t>{0xFFFF, 0x43FF, 0xFFFF, 0x0100, 0x0100, 0x0000, 0x0100, 0x0000}
            << 0xFFFFFFu << QStringList{"Калибровка", "65535", "0.00", "0.00e+00", "0.00e+00"};
        QTest::newRow("dose of four zero bytes")
            << QList<std::uint16_t>{0x0002, 0x3100, 0x0000, 0x8000, 0x7F00, 0x0000, 0x0000, 0x0000}
            << 2u << QStringList{"Включение прибора", "0", "1.00", "5.00e-01", "inf"};
        QTest::newRow("not a number")
            << QList<std::uint16_t>{0x0002, 0x3000, 0x0000, 0x0040, 0x0000, 0x0001, 0x8000, 0x0000}
            << 2u << QStringList{"Выключение прибора", "0", "nan", "nan", "1.00e+00"};
    }
    void rowTexts()
    {
        QFETCH(QList<std::uint16_t>, words);
        QFETCH(uint, minutes);
        QFETCH(QStringList, texts);
        const QStringList row = historyRowTexts(fromWords(words));
        QCOMPARE(row.size(), 6);
        QCOMPARE(row.at(0), dateText(minutes));
        QCOMPARE(row.mid(1), texts);
    }

    // Numbers use a point and no group separators whatever the locale.
    void numbersIgnoreTheLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QStringList row =
            historyRowTexts(makeRecord(5, 'F', 12345, 1234.5f, 1.2e-7f, 98765.0f));
        QLocale::setDefault(saved);
        QCOMPARE(row.mid(2), (QStringList{"12345", "1234.50", "1.20e-07", "9.88e+04"}));
        QCOMPARE(row.at(0), dateText(5));
    }

    void fill()
    {
        Records records;
        records.list << new HistoryRecord(makeRecord(1, 'F'))
                     << new HistoryRecord(makeRecord(2, 'N'))
                     << new HistoryRecord(makeRecord(3, 'X'))
                     << new HistoryRecord(makeRecord(4, 'A'))
                     << new HistoryRecord(makeRecord(5, 'e'))
                     << new HistoryRecord(makeRecord(6, 'n'));
        // Alarms red; a threshold exceeded in a colour of its own, not red.
        const QBrush magenta(QColor(190, 0, 170));
        const QList<QBrush> colours{QBrush(), red, QBrush(), red, magenta, QBrush()};

        HistoryTableModel model;
        model.setRecords(records.list);
        QCOMPARE(model.rowCount(), records.list.size());
        QCOMPARE(model.columnCount(), 6);

        for (int r = 0; r < model.rowCount(); ++r) {
            const QStringList texts = historyRowTexts(*records.list.at(r));
            for (int c = 0; c < 6; ++c) {
                const bool emptyCell = c == 1 && texts.at(c).isEmpty();
                const QModelIndex index = model.index(r, c);
                QCOMPARE(!index.data(Qt::DisplayRole).isValid(), emptyCell);
                QCOMPARE(index.data(Qt::DisplayRole).toString(), texts.at(c));
                QVERIFY(!index.data(Qt::BackgroundRole).isValid());
                const QVariant fg = index.data(Qt::ForegroundRole);
                if (colours.at(r) != QBrush())
                    QCOMPARE(fg.value<QBrush>(), colours.at(r));
                else
                    QVERIFY2(!fg.isValid(), qPrintable(QString("row %1 column %2").arg(r).arg(c)));
            }
            QCOMPARE(model.headerData(r, Qt::Vertical), QVariant(r + 1));
        }
        QCOMPARE(model.index(2, 0).data().toString(), dateText(3));
        QCOMPARE(model.index(2, 2).data().toString(), QStringLiteral("1"));
    }

    // Pages as they come from the pager, into the table.
    void fillFromPage()
    {
        Records records;
        const QString reply =
            page(words({0x0001, 0x4600, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}) +
                 words({0x05A0, 0x4E01, 0x00C8, 0x8140, 0x6B4C, 0xCCCD, 0x7D20, 0x0000}) +
                 words({0x0000, 0x4600, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}));
        QVERIFY(!parseHistoryPageText(reply, records.list));
        HistoryTableModel model;
        model.setRecords(records.list);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), dateText(1));
        QCOMPARE(model.index(1, 0).data().toString(), dateText(66976));
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("Тревога нейтронная"));
        QCOMPARE(model.index(1, 4).data().toString(), QStringLiteral("7.63e-07"));
        QVERIFY(!model.index(0, 5).data(Qt::ForegroundRole).isValid());
        QCOMPARE(model.index(1, 5).data(Qt::ForegroundRole).value<QBrush>(), red);
    }

    void emptyList()
    {
        Records records;
        records.list << new HistoryRecord(makeRecord(1, 'A'));
        HistoryTableModel model;
        model.setRecords(records.list);
        model.setRecords({});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("ЭД (Зв)"));
    }

    void infinityShowsInf()
    {
        HistoryRecord r = makeRecord(1, 'F');
        r.dose = std::numeric_limits<float>::infinity();
        QCOMPARE(historyRowTexts(r).at(5), QStringLiteral("inf"));
    }
};

QTEST_MAIN(TstHistoryTable)
#include "tst_historytable.moc"
