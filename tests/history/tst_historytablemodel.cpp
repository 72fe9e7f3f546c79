// The history table model against the item-per-cell table it replaces: the
// same header, texts, colours and files for the same records in any zone.
#include "csvexport.h"
#include "historytablemodel.h"
#include "pdfjournal.h"

#include "support/itemhistorytable.h"

#include <QBuffer>
#include <QtTest>

#include <limits>

namespace {

HistoryRecord record(std::uint32_t time, char code, float neutron = 1.5f, float doseRate = 2.0e-7f,
                     float dose = 1.0e-3f)
{
    HistoryRecord r;
    r.time = time;
    r.eventCode = code;
    r.gammaCps = std::uint16_t(time % 65536);
    r.neutronCps = neutron;
    r.doseRate = doseRate;
    r.dose = dose;
    return r;
}

QByteArray journal(const QAbstractItemModel *model)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeJournalPdf(model, QStringLiteral("05A00317"), QDate(2021, 3, 5), &buffer);
    // The moment of writing aside.
    return QString::fromLatin1(buffer.data())
        .remove(QRegularExpression(QStringLiteral("/CreationDate \\(D:[^)]*\\)")))
        .toLatin1();
}

} // namespace

class TstHistoryTableModel : public QObject
{
    Q_OBJECT
private slots:
    void sameAsItemTable_data()
    {
        QTest::addColumn<QByteArray>("zone"); // empty: the PC's
        QTest::newRow("system") << QByteArray();
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo");
        QTest::newRow("Sao Paulo summer time") << QByteArray("America/Sao_Paulo");
    }
    void sameAsItemTable()
    {
        QFETCH(QByteArray, zone);
        const float inf = std::numeric_limits<float>::infinity();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const QVector<HistoryRecord> kept{
            record(915148860, 'F'),                 // 1999-01-01, summer time in Sao Paulo
            record(915152460, 'A'),                 // gamma alarm: red
            record(922579140, 'N', 3.0f, 7.63e-7f), // neutron alarm: red
            record(941333400, 'e'),                 // threshold: magenta
            record(941333460, 'X'),                 // unknown code: no event text
            record(1921778100, 'F', nan, inf, -inf),
            record(0, '1', 0.0f, 0.0f, nan),
            record(915152520, 'C', -0.0f, -2.5e-9f, 3.4e38f)};
        QList<HistoryRecord *> records;
        for (const HistoryRecord &r : kept)
            records << new HistoryRecord(r);
        const QTimeZone tz = zone.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(zone);
        QVERIFY(tz.isValid());

        QStandardItemModel items;
        fillItemHistoryTable(&items, records, tz);
        HistoryTableModel model;
        model.setRecords(records, tz);
        qDeleteAll(records);

        QCOMPARE(model.rowCount(), items.rowCount());
        QCOMPARE(model.columnCount(), items.columnCount());
        const QList<int> roles{Qt::DisplayRole,    Qt::EditRole,      Qt::ForegroundRole,
                               Qt::BackgroundRole, Qt::ToolTipRole,   Qt::TextAlignmentRole,
                               Qt::FontRole,       Qt::CheckStateRole};
        for (int role : roles) {
            for (int c = -1; c <= model.columnCount(); ++c)
                QCOMPARE(model.headerData(c, Qt::Horizontal, role),
                         items.headerData(c, Qt::Horizontal, role));
            for (int r = -1; r <= model.rowCount(); ++r)
                QCOMPARE(model.headerData(r, Qt::Vertical, role),
                         items.headerData(r, Qt::Vertical, role));
            for (int r = 0; r < model.rowCount(); ++r)
                for (int c = 0; c < model.columnCount(); ++c)
                    QCOMPARE(model.index(r, c).data(role), items.index(r, c).data(role));
        }
        QVERIFY(!model.index(4, 1).data().isValid()); // the unknown code's cell
        QCOMPARE(historyCsv(&model, QDate(2021, 3, 5)), historyCsv(&items, QDate(2021, 3, 5)));
        QCOMPARE(journal(&model), journal(&items));
    }
};

QTEST_MAIN(TstHistoryTableModel)
#include "tst_historytablemodel.moc"
