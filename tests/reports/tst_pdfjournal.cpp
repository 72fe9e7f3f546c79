#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDate calibration(2020, 11, 27);

// The fixed opening of the journal, put together from its pieces and the
// number of spaces after each.
QString journalOpening()
{
    const QList<QPair<QString, int>> pieces = {
        {QStringLiteral("<html>"), 17},
        {QStringLiteral("<head>"), 17},
        {QStringLiteral("<style>"), 17},
        {QStringLiteral("table, th, td {"), 19},
        {QStringLiteral("border: 2px solid black;"), 17},
        {QStringLiteral("}"), 34},
        {QStringLiteral("th, td {"), 19},
        {QStringLiteral("padding: 3px;"), 19},
        {QStringLiteral("spacing: 1px;"), 17},
        {QStringLiteral("}"), 17},
        {QStringLiteral("</style>"), 17},
        {QStringLiteral("</head>"), 17},
        {QStringLiteral("<body>"), 17},
        {QStringLiteral("<header>"), 19},
        {QStringLiteral("<h1>ЖУРНАЛ</h1>"), 19},
        {QStringLiteral("<p>Серийный номер: %1</p>"), 19},
        {QStringLiteral("<p>Дата поверки: %2</p>"), 19},
        {QStringLiteral("<p>      </p>"), 17},
        {QStringLiteral("</header>"), 17},
        {QStringLiteral("<table border><thead>"), 0},
    };
    QString text;
    for (const auto &piece : pieces)
        text += piece.first + QString(piece.second, QLatin1Char(' '));
    return text;
}

QString filledOpening(const QString &serial, const QString &date)
{
    // Each placeholder is replaced at its own place in the opening; what
    // gets inserted is not looked at again.
    QString text = journalOpening();
    const int serialAt = text.indexOf(QStringLiteral("%1"));
    const int dateAt = text.indexOf(QStringLiteral("%2"));
    text.replace(dateAt, 2, date);
    text.replace(serialAt, 2, serial);
    return text;
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs a poppler tool; a null result when the tool is not installed.
QString popplerOutput(const QString &tool, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return QString();
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>")
            .arg(tool, QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pageCount(const QString &pdfName)
{
    const QString info = popplerOutput(QStringLiteral("pdfinfo"), {pdfName});
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class TestPdfJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openingIsTheFixedTemplate();
    void tableFollowsTheOpening();
    void emptyTableHasHeaderRowOnly();
    void insertedTextsAreEscaped_data();
    void insertedTextsAreEscaped();
    void cellWithoutTextGetsOneSpace();
    void pdfHoldsTheJournalTexts();
    void pageIsA4PortraitWithMargins();
    void longTableContinuesOnFurtherPages();
    void deviceReceivesTheSavedBytes();
    void failingDeviceIsReported();
    void pdfCutShortIsReported();
    void saveReplacesExistingFile();
    void saveIntoMissingFolderFails();
    void saveOntoFolderFails();
    void failedSaveKeepsOldFile();

private:
    QTemporaryDir dir;
    bool popplerPresent = false;
};

void TestPdfJournal::initTestCase()
{
    QVERIFY(dir.isValid());
    popplerPresent = !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
                     !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

void TestPdfJournal::openingIsTheFixedTemplate()
{
    QCOMPARE(journalOpening().toUtf8().size(), 613);
    const auto model = historyModel();
    const QString html = journalHtml(model.get(), QStringLiteral("0042"), calibration);
    QCOMPARE(html.left(filledOpening("0042", "2020-11-27").size()),
             filledOpening("0042", "2020-11-27"));
    QVERIFY(journalHtml(model.get(), QString(), QDate(2021, 1, 5))
                .startsWith(filledOpening(QString(), "2021-01-05")));
}

void TestPdfJournal::tableFollowsTheOpening()
{
    const auto model = historyModel();
    appendRow(model.get(), {"01.01.1999 00:01", "Фон", "5", "1.00", "5.00e-01", "1.00e+00"});
    appendRow(model.get(),
              {"16.02.1999 12:16", "Тревога нейтронная", "200", "3.00", "7.63e-07", "1.56e-01"});

    const QString expected =
        filledOpening("17", "2020-11-27") +
        QStringLiteral(
            "<tr><th>Дата</th><th>Событие</th><th>CPS гамма (имп/с)</th>"
            "<th>CPS нейтроны (имп/с)</th><th>МЭД (Зв/ч)</th><th>ЭД (Зв)</th></tr></thead>"
            "<tbody>"
            "<tr><td>01.01.1999 00:01</td><td>Фон</td><td>5</td><td>1.00</td><td>5.00e-01</td>"
            "<td>1.00e+00</td></tr>"
            "<tr><td>16.02.1999 12:16</td><td>Тревога нейтронная</td><td>200</td><td>3.00</td>"
            "<td>7.63e-07</td><td>1.56e-01</td></tr>"
            "</tbody></table></body></html>");
    QCOMPARE(journalHtml(model.get(), QStringLiteral("17"), calibration), expected);
}

void TestPdfJournal::emptyTableHasHeaderRowOnly()
{
    const auto model = historyModel();
    const QString html = journalHtml(model.get(), QStringLiteral("17"), calibration);
    QVERIFY(html.endsWith(QStringLiteral("<th>ЭД (Зв)</th></tr></thead><tbody>"
                                         "</tbody></table></body></html>")));
    QCOMPARE(html.count(QStringLiteral("<tr>")), 1);
}

void TestPdfJournal::insertedTextsAreEscaped_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("serialHtml");
    QTest::addColumn<QString>("labelHtml");
    QTest::addColumn<QString>("cellHtml");

    QTest::newRow("markup") << "<b>7</b>"
                            << "A<B"
                            << "<i>x</i>"
                            << "&lt;b&gt;7&lt;/b&gt;"
                            << "A&lt;B"
                            << "&lt;i&gt;x&lt;/i&gt;";
    QTest::newRow("ampersand and quote") << "R&D \"1\""
                                         << "a & b"
                                         << "&amp;"
                                         << "R&amp;D &quot;1&quot;"
                                         << "a &amp; b"
                                         << "&amp;amp;";
    QTest::newRow("placeholders") << "%2"
                                  << "%1"
                                  << "%2 %1"
                                  << "%2"
                                  << "%1"
                                  << "%2 %1";
    QTest::newRow("both placeholders in serial") << "%1%2"
                                                 << "L"
                                                 << "c"
                                                 << "%1%2"
                                                 << "L"
                                                 << "c";
}

void TestPdfJournal::insertedTextsAreEscaped()
{
    QFETCH(QString, serial);
    QFETCH(QString, label);
    QFETCH(QString, cell);
    QFETCH(QString, serialHtml);
    QFETCH(QString, labelHtml);
    QFETCH(QString, cellHtml);

    QStandardItemModel model(0, 2);
    model.setHorizontalHeaderLabels({label, QStringLiteral("Событие")});
    appendRow(&model, {cell, QStringLiteral("Фон")});

    const QString html = journalHtml(&model, serial, calibration);
    QCOMPARE(html, filledOpening(serialHtml, "2020-11-27") + "<tr><th>" + labelHtml +
                       "</th><th>Событие</th></tr></thead><tbody><tr><td>" + cellHtml +
                       "</td><td>Фон</td></tr></tbody></table></body></html>");
}

void TestPdfJournal::cellWithoutTextGetsOneSpace()
{
    const auto model = historyModel();
    appendRow(model.get(), {"01.01.1999 00:01", QString(), "5", "1.00", "5.00e-01", "1.00e+00"});
    appendRow(model.get(), {"01.01.1999 00:02", "", "6", "1.00", "5.00e-01", "1.00e+00"});
    const QString html = journalHtml(model.get(), QStringLiteral("1"), calibration);
    QVERIFY(html.contains(QStringLiteral("<td>01.01.1999 00:01</td><td> </td><td>5</td>")));
    QVERIFY(html.contains(QStringLiteral("<td>01.01.1999 00:02</td><td> </td><td>6</td>")));
    QCOMPARE(html.count(QStringLiteral("<td>")), 12);
}

void TestPdfJournal::pdfHoldsTheJournalTexts()
{
    if (!popplerPresent)
        QSKIP("pdftotext/pdfinfo (poppler-utils) not installed");
    const auto model = historyModel();
    appendRow(model.get(), {"01.01.1999 00:01", "Фон", "5", "1.00", "5.00e-01", "1.00e+00"});
    appendRow(model.get(),
              {"16.02.1999 12:16", "Тревога нейтронная", "200", "3.00", "7.63e-07", "1.56e-01"});
    appendRow(model.get(), {"16.02.1999 12:17", "<&>", "7", "1.00", "5.00e-01", "1.00e+00"});

    const QString name = dir.filePath(QStringLiteral("texts.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("SN<12>&3"), calibration, name, &error),
             qPrintable(error));
    QVERIFY(readFile(name).startsWith("%PDF-"));

    // Narrow columns wrap longer cell texts, so only texts that fit their
    // cell are looked for.
    const QString text = popplerOutput(QStringLiteral("pdftotext"), {name, QStringLiteral("-")});
    for (const QString &expected :
         {QStringLiteral("ЖУРНАЛ"), QStringLiteral("Серийный номер: SN<12>&3"),
          QStringLiteral("Дата поверки: 2020-11-27"), QStringLiteral("МЭД"), QStringLiteral("Фон"),
          QStringLiteral("Тревога"), QStringLiteral("200"), QStringLiteral("3.00"),
          QStringLiteral("7.63e-07"), QStringLiteral("<&>")})
        QVERIFY2(text.contains(expected), qPrintable(expected + " missing in:\n" + text));
    QVERIFY(!text.contains(QStringLiteral("&amp;")));
    QCOMPARE(pageCount(name), 1);
}

void TestPdfJournal::pageIsA4PortraitWithMargins()
{
    if (!popplerPresent)
        QSKIP("pdftotext/pdfinfo (poppler-utils) not installed");
    const auto model = historyModel();
    fillRows(model.get(), 3);
    const QString name = dir.filePath(QStringLiteral("page.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));

    const QString info = popplerOutput(QStringLiteral("pdfinfo"), {name});
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QVERIFY(qAbs(size.captured(1).toDouble() - 595.3) < 1.0);
    QVERIFY(qAbs(size.captured(2).toDouble() - 841.9) < 1.0);

    // The heading starts right inside the left (20 mm) and top (10 mm) margins.
    const QString boxes = popplerOutput(QStringLiteral("pdftotext"),
                                        {QStringLiteral("-bbox"), name, QStringLiteral("-")});
    const QRegularExpressionMatch heading =
        QRegularExpression(QStringLiteral("xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>ЖУРНАЛ<"))
            .match(boxes);
    QVERIFY2(heading.hasMatch(), qPrintable(boxes));
    const double mm = 72.0 / 25.4;
    const double left = heading.captured(1).toDouble();
    const double top = heading.captured(2).toDouble();
    QVERIFY2(left >= 20 * mm && left < 30 * mm, qPrintable(QString::number(left)));
    QVERIFY2(top >= 10 * mm && top < 25 * mm, qPrintable(QString::number(top)));
}

void TestPdfJournal::longTableContinuesOnFurtherPages()
{
    if (!popplerPresent)
        QSKIP("pdftotext/pdfinfo (poppler-utils) not installed");
    const auto model = historyModel();
    for (int i = 1; i <= 200; ++i)
        appendRow(model.get(),
                  {QStringLiteral("R%1").arg(i), "Фон", "5", "1.00", "5.00e-01", "1.00e+00"});
    const QString name = dir.filePath(QStringLiteral("long.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));
    const int pages = pageCount(name);
    QVERIFY2(pages > 1, qPrintable(QString::number(pages)));

    // Every row is on some page, in order: the first on page 1, the last on
    // the last page.
    const QRegularExpression rowLabel(QStringLiteral("^R(\\d+)$"),
                                      QRegularExpression::MultilineOption);
    QList<int> seen;
    for (int page = 1; page <= pages; ++page) {
        const QString text =
            popplerOutput(QStringLiteral("pdftotext"),
                          {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                           QString::number(page), name, QStringLiteral("-")});
        auto it = rowLabel.globalMatch(text);
        const int before = seen.size();
        while (it.hasNext())
            seen << it.next().captured(1).toInt();
        QVERIFY2(seen.size() > before, qPrintable(QStringLiteral("page %1 has no rows").arg(page)));
    }
    QCOMPARE(seen.size(), 200);
    for (int i = 0; i < seen.size(); ++i)
        QCOMPARE(seen.at(i), i + 1);
}

void TestPdfJournal::deviceReceivesTheSavedBytes()
{
    const auto model = historyModel();
    fillRows(model.get(), 5);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY2(writeJournalPdf(model.get(), QStringLiteral("1"), calibration, &buffer, &error),
             qPrintable(error));
    QVERIFY(buffer.data().startsWith("%PDF-"));
    QVERIFY(buffer.data().trimmed().endsWith("%%EOF"));
}

void TestPdfJournal::failingDeviceIsReported()
{
    const auto model = historyModel();
    fillRows(model.get(), 5);
    FailingDevice device(100);
    QVERIFY(device.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(!writeJournalPdf(model.get(), QStringLiteral("1"), calibration, &device, &error));
    QVERIFY(error.contains(QStringLiteral("No space left on device")));
}

void TestPdfJournal::pdfCutShortIsReported()
{
    // The output itself has room; the printer's own file is what runs out
    // of space.
    const auto model = historyModel();
    fillRows(model.get(), 50);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    bool written = true;
    {
        FileSizeLimit limit(4096);
        if (!limit.valid())
            QSKIP("file size limit not available");
        written = writeJournalPdf(model.get(), QStringLiteral("1"), calibration, &buffer, &error);
    }
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QVERIFY(buffer.data().isEmpty());
}

void TestPdfJournal::saveReplacesExistingFile()
{
    const QString name = dir.filePath(QStringLiteral("replace.pdf"));
    QVERIFY(writeFile(name, QByteArray(400000, 'x')));
    const auto model = historyModel();
    fillRows(model.get(), 2);
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));
    const QByteArray bytes = readFile(name);
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.trimmed().endsWith("%%EOF"));
    QVERIFY(!bytes.contains("xxxxxxxx"));
}

void TestPdfJournal::saveIntoMissingFolderFails()
{
    const QString name = dir.filePath(QStringLiteral("missing/journal.pdf"));
    const auto model = historyModel();
    QString error;
    QVERIFY(!saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(name));
}

void TestPdfJournal::saveOntoFolderFails()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = folder.filePath(QStringLiteral("journal.pdf"));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("journal.pdf")));
    const auto model = historyModel();
    QString error;
    QVERIFY(!saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(name).isDir());
    QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("journal.pdf")});
}

void TestPdfJournal::failedSaveKeepsOldFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = folder.filePath(QStringLiteral("journal.pdf"));
    const QByteArray old("the previous journal\n");
    QVERIFY(writeFile(name, old));
    const auto model = historyModel();
    fillRows(model.get(), 50);

    QString error;
    bool saved = true;
    {
        // A real write failure past 4 KiB, as on a full disk.
        FileSizeLimit limit(4096);
        if (!limit.valid())
            QSKIP("file size limit not available");
        saved = saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error);
    }
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(name), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("journal.pdf")});

    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));
    QVERIFY(readFile(name).startsWith("%PDF-"));
}

QTEST_MAIN(TestPdfJournal)
#include "tst_pdfjournal.moc"
