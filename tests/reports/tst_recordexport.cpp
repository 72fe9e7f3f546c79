// The CSV for programs and the JSON Lines, byte for byte, of a few records
// shown in a zone west of UTC across its change to summer time, one of them
// flagged with values the pager cannot measure and an event code outside the
// table.
#include "historyflags.h"
#include "historytablemodel.h"
#include "recordexport.h"

#include <QtTest>

#include <limits>

class TestRecordExport : public QObject
{
    Q_OBJECT

private slots:
    void golden_data();
    void golden();
};

void TestRecordExport::golden_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("csv") << int(RecordFormat::Csv)
                         << QByteArray("time,event,gamma_count_rate_per_s,neutron_count_rate_per_s,"
                                       "dose_rate_Sv_per_h,dose_Sv,flags\n"
                                       "2026-03-08T01:59:00-05:00,F,12,0.5,1.2e-07,3.4e-05,\n"
                                       "2026-03-08T03:01:00-04:00,0x07,65535,1234567,nan,0.1,"
                                       "gap|dose-fall|range|event\n");
    QTest::newRow("jsonl")
        << int(RecordFormat::JsonLines)
        << QByteArray("{\"time\":\"2026-03-08T01:59:00-05:00\",\"event\":\"F\","
                      "\"gamma_count_rate_per_s\":12,\"neutron_count_rate_per_s\":0.5,"
                      "\"dose_rate_Sv_per_h\":1.2e-07,\"dose_Sv\":3.4e-05,\"flags\":[]}\n"
                      "{\"time\":\"2026-03-08T03:01:00-04:00\",\"event\":\"0x07\","
                      "\"gamma_count_rate_per_s\":65535,\"neutron_count_rate_per_s\":1234567,"
                      "\"dose_rate_Sv_per_h\":null,\"dose_Sv\":0.1,"
                      "\"flags\":[\"gap\",\"dose-fall\",\"range\",\"event\"]}\n");
}

void TestRecordExport::golden()
{
    QFETCH(int, format);
    QFETCH(QByteArray, expected);
    // Two minutes apart in UTC, on either side of New York's 02:00 → 03:00.
    const std::uint32_t before =
        std::uint32_t(QDateTime(QDate(2026, 3, 8), QTime(6, 59), Qt::UTC).toSecsSinceEpoch());
    HistoryRecord quiet{before, 'F', 0, 12, 0.5f, 1.2e-7f, 3.4e-5f, {}};
    HistoryRecord flagged{before + 120,
                          '\x07',
                          recordflag::Gap | recordflag::DoseFall | recordflag::OutOfRange |
                              recordflag::UnknownEvent,
                          65535,
                          1234567.0f,
                          std::numeric_limits<float>::quiet_NaN(),
                          0.1f,
                          {}};
    HistoryTableModel model;
    model.setRecords({&quiet, &flagged}, QTimeZone("America/New_York"));
    QCOMPARE(recordsText(&model, RecordFormat(format)), expected);
}

QTEST_GUILESS_MAIN(TestRecordExport)
#include "tst_recordexport.moc"
