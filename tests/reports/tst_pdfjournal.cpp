#include "historyflags.h"
#include "historytablemodel.h"
#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QBrush>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>

namespace {

const QDate calibration(2020, 11, 27);
const double mm = 72.0 / 25.4;
// The A4 page inside its margins (20 mm left, 10 mm elsewhere), in points.
const QRectF inside(QPointF(20 * mm, 10 * mm), QPointF(595.3 - 10 * mm, 841.9 - 10 * mm));
const int dpi = 150; // of the rendered pages

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
QByteArray popplerOutput(const QString &tool, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return QByteArray();
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return "<" + tool.toUtf8() + " failed: " + process.readAllStandardError() + ">";
    return process.readAllStandardOutput();
}

struct Word
{
    QString text;
    QRectF box; // points, from the page's top left corner
};

using Line = QList<Word>; // the words of a page that share a line, left to right

QString text(const Line &line)
{
    QStringList texts;
    for (const Word &word : line)
        texts << word.text;
    return texts.join(' ');
}

struct Page
{
    QSizeF size;
    QList<Line> lines; // top to bottom
    QImage image;      // rendered at `dpi`
};

// A PDF's pages as poppler reads and renders them; lines by height, not by pdftotext's blocks.
QList<Page> readPages(const QString &pdfName)
{
    QList<Page> pages;
    QVector<QMap<double, QMap<double, Word>>> words; // per page, by top, then left
    QXmlStreamReader xml(
        popplerOutput(QStringLiteral("pdftotext"), {QStringLiteral("-bbox-layout"), pdfName, "-"}));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto number = [&](const char *name) {
            return xml.attributes().value(QLatin1String(name)).toDouble();
        };
        if (xml.name() == QLatin1String("page")) {
            pages.append({QSizeF(number("width"), number("height")), {}, {}});
            words.resize(pages.size());
        } else if (xml.name() == QLatin1String("word") && !words.isEmpty()) {
            const QRectF box(QPointF(number("xMin"), number("yMin")),
                             QPointF(number("xMax"), number("yMax")));
            words.last()[box.top()][box.left()] = {xml.readElementText(), box};
        }
    }
    for (int p = 0; p < pages.size(); ++p) {
        for (const auto &line : words.at(p))
            pages[p].lines.append(line.values());
        const QString page = QString::number(p + 1);
        popplerOutput(QStringLiteral("pdftoppm"), {"-r", QString::number(dpi), "-f", page, "-l",
                                                   page, "-png", "-singlefile", pdfName, pdfName});
        pages[p].image.load(pdfName + QStringLiteral(".png"));
    }
    return pages;
}

// How many pixels of the page within `box` (points) pass `is`.
template <typename Test> int pixels(const Page &page, const QRectF &box, Test is)
{
    const QRect area = QTransform::fromScale(dpi / 72.0, dpi / 72.0).mapRect(box).toRect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += page.image.valid(x, y) && is(page.image.pixel(x, y));
    return count;
}

// Empty, or what is misplaced: not A4, not starting at the top left margin,
// words outside the margins or overlapping, ink outside, a table short of the right one.
QString misplaced(const Page &page)
{
    const auto ink = [](QRgb pixel) { return qGray(pixel) <= 240; };
    if (qAbs(page.size.width() - 595.3) > 1 || qAbs(page.size.height() - 841.9) > 1 ||
        page.lines.isEmpty() || page.image.isNull())
        return QStringLiteral("no A4 page with text");
    const QRectF first = page.lines.first().first().box;
    if (qAbs(first.left() - inside.left()) > 5 || first.top() > 15 * mm)
        return QStringLiteral("starts at %1,%2").arg(first.left()).arg(first.top());
    for (const Line &line : page.lines)
        for (int w = 0; w < line.size(); ++w) {
            const QRectF &box = line.at(w).box;
            if (box.left() < inside.left() - 0.5 || box.right() > inside.right() + 0.5 ||
                (w > 0 && box.left() <= line.at(w - 1).box.right()))
                return "word misplaced in: " + text(line);
        }
    if (pixels(page, inside.adjusted(-2, -2, 2, 2), ink) !=
        pixels(page, QRectF(QPointF(), page.size), ink))
        return QStringLiteral("ink outside the margins");
    const QRectF rightEdge(inside.right() - 2, inside.top(), 2, inside.height());
    return pixels(page, rightEdge, ink) == 0
               ? QStringLiteral("the table stops short of the right margin")
               : QString();
}

// The words of a row's cells, in column order, as one line reads.
QString rowText(const QAbstractItemModel *model, int row)
{
    QStringList words;
    for (int c = 0; c < model->columnCount(); ++c)
        words << model->index(row, c).data().toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.join(QLatin1Char(' '));
}

// History rows of every kind: red by a brush (as in the window), red by a colour,
// no event, the longest event, markup and placeholders printed as they are.
void fillHistory(QStandardItemModel *model, int count)
{
    const QStringList events = {"Фон", "Тревога нейтронная", QString(), "Изменение количества сигм",
                                "<b>1</b> a & b %2 %1 &amp; <"};
    const QVariantList colours = {QVariant(), QBrush(QColor(255, 0, 0)), QVariant(),
                                  QColor(Qt::red), QVariant()};
    for (int i = 0; i < count; ++i) {
        appendRow(model, {QString("%1.02.1999 12:%2")
                              .arg(i / 60 % 28 + 1, 2, 10, QChar('0'))
                              .arg(i % 60, 2, 10, QChar('0')),
                          events.at(i % 5), QString::number(i), "1.00", "5.00e-01", "1.00e+00"});
        for (int c = 0; colours.at(i % 5).isValid() && c < model->columnCount(); ++c)
            model->setData(model->index(i, c), colours.at(i % 5), Qt::ForegroundRole);
    }
}

} // namespace

class TestPdfJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesHoldTheJournal_data();
    void pagesHoldTheJournal();
    void overlongCellsWrapAtSpaces();
    void flaggedRecordsCounted();
    void deviceReceivesTheSavedBytes();
    void failingDeviceIsReported();
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
                     !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

void TestPdfJournal::pagesHoldTheJournal_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("rows");

    QTest::newRow("empty table") << "0042" << 0;
    QTest::newRow("no serial number") << "" << 2;
    QTest::newRow("several sheets") << "SN<12>&3 %1%2" << 150;
}

// Heading, header row on every sheet, every row whole, in order and in its
// colour, footers 1 to M, the sheets told as written, all inside the margins.
void TestPdfJournal::pagesHoldTheJournal()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    QFETCH(QString, serial);
    QFETCH(int, rows);

    const auto model = historyModel();
    fillHistory(model.get(), rows);
    const QString name = dir.filePath(QStringLiteral("pages.pdf"));
    QString error;
    int sheets = -1;
    QList<QPair<int, int>> told;
    const auto tell = [&](int sheet, int of) { told.append({sheet, of}); };
    QVERIFY2(saveJournalPdf(model.get(), serial, calibration, name, &error, tell, &sheets),
             qPrintable(error));

    const QList<Page> pages = readPages(name);
    QCOMPARE(sheets, pages.size());
    QVERIFY(rows < 100 || sheets >= 3);
    for (int i = 0; i < sheets; ++i)
        QCOMPARE(told.value(i), qMakePair(i + 1, sheets));
    QCOMPARE(told.size(), sheets);

    QStringList headerWords = historyLabels().join(' ').split(' ');
    std::sort(headerWords.begin(), headerWords.end());
    int row = 0;
    for (int p = 0; p < pages.size(); ++p) {
        const QString wrong = misplaced(pages.at(p));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        const QList<Line> &lines = pages.at(p).lines;
        int at = 0;
        if (p == 0) {
            QVERIFY(lines.size() >= 4);
            QCOMPARE(text(lines.at(0)), QStringLiteral("ЖУРНАЛ"));
            QCOMPARE(text(lines.at(1)), QStringLiteral("Серийный номер: %1").arg(serial).trimmed());
            QCOMPARE(text(lines.at(2)), QStringLiteral("Дата поверки: 27.11.2020"));
            at = 3;
        }
        // The header row: the six labels' words, above the rows.
        QStringList seen;
        for (; at < lines.size() - 1 &&
               (row >= model->rowCount() || text(lines.at(at)) != rowText(model.get(), row));
             ++at)
            for (const Word &word : lines.at(at))
                seen << word.text;
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, headerWords);
        // Whole rows, continuing from the sheet before, every word red or black as its row.
        const int first = row;
        for (; at < lines.size() - 1; ++at, ++row) {
            QVERIFY2(row < model->rowCount(), qPrintable(text(lines.at(at))));
            QCOMPARE(text(lines.at(at)), rowText(model.get(), row));
            const bool alarm = model->index(row, 0).data(Qt::ForegroundRole).isValid();
            for (const Word &word : lines.at(at)) {
                const int red = pixels(pages.at(p), word.box, [](QRgb pixel) {
                    return qRed(pixel) > 200 && qGreen(pixel) < 120 && qBlue(pixel) < 120;
                });
                const int black = pixels(pages.at(p), word.box, [](QRgb pixel) {
                    return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 100;
                });
                QVERIFY2(alarm ? red > 0 && black == 0 : red == 0 && black > 0,
                         qPrintable(word.text + QString(": %1 red, %2 black").arg(red).arg(black)));
            }
        }
        QVERIFY(row > first || model->rowCount() == 0);
        QCOMPARE(text(lines.last()),
                 QString("Журнал %1 · лист %2 из %3")
                     .arg(serial, QString::number(p + 1), QString::number(sheets))
                     .simplified());
    }
    QCOMPARE(row, model->rowCount());
}

void TestPdfJournal::overlongCellsWrapAtSpaces()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    const auto numbered = [](const char *word, int count) {
        QStringList words;
        for (int i = 1; i <= count; ++i)
            words << word + QString::number(i);
        return words;
    };
    // Two cells wider than the page, a long label, a long word setting its column's least width.
    const QStringList words = numbered("слово", 60), labelWords = numbered("заголовок", 12);
    const QString longWord(30, QChar(0x0416));
    QStandardItemModel model(0, 4);
    model.setHorizontalHeaderLabels({"Дата", labelWords.join(' '), "Примечание", "Номер"});
    appendRow(&model, {"01.02.1999", words.join(' '), numbered("текст", 40).join(' '), "1"});
    appendRow(&model, {"02.02.1999", "Фон", "-", "2"});
    appendRow(&model, {"03.02.1999", longWord, "-", "3"});
    const QString name = dir.filePath("wrap.pdf");
    QString error;
    QVERIFY2(saveJournalPdf(&model, "1", calibration, name, &error), qPrintable(error));

    const QList<Page> pages = readPages(name);
    QCOMPARE(pages.size(), 1);
    const QString wrong = misplaced(pages.first());
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // Whole words in reading order, over several lines.
    const QList<Line> &lines = pages.first().lines;
    QStringList seen;
    int wrapped = 0;
    for (const Line &line : lines) {
        const int before = seen.size();
        for (const Word &word : line)
            if (word.text.startsWith("слово") || word.text.startsWith("заголовок"))
                seen << word.text;
        wrapped += seen.size() > before;
    }
    QCOMPARE(seen, labelWords + words);
    QVERIFY2(wrapped >= 4, qPrintable(QString::number(wrapped)));
    // The rows after the wrapped one stand on one line each.
    QCOMPARE(text(lines.at(lines.size() - 3)), QString("02.02.1999 Фон - 2"));
    QCOMPARE(text(lines.at(lines.size() - 2)), "03.02.1999 " + longWord + " - 3");
}

void TestPdfJournal::deviceReceivesTheSavedBytes()
{
    // Straight into the output: no file of the process may grow past 4 KiB meanwhile.
    const auto model = historyModel();
    fillRows(model.get(), 300);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    bool written = false;
    {
        FileSizeLimit limit(4096);
        written = writeJournalPdf(model.get(), QStringLiteral("1"), calibration, &buffer, &error);
    }
    QVERIFY2(written, qPrintable(error));
    QVERIFY(buffer.size() > 4096);
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

// A history table's journal says under its heading how many of its records
// are flagged; a table without flags (the settings log's) says nothing.
void TestPdfJournal::flaggedRecordsCounted()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    QList<HistoryRecord *> records;
    for (const int flags :
         {0, int(recordflag::Gap), 0, recordflag::Backwards | recordflag::Future}) {
        auto *r = new HistoryRecord;
        r->time = 1767225600 + 60 * std::uint32_t(records.size());
        r->eventCode = 'F';
        r->flags = std::uint8_t(flags);
        records << r;
    }
    HistoryTableModel model;
    model.setRecords(records);
    qDeleteAll(records);
    const QString name = dir.filePath(QStringLiteral("flags.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(&model, "05A00317", calibration, name, &error), qPrintable(error));
    const QList<Line> lines = readPages(name).first().lines;
    QCOMPARE(text(lines.at(3)), QStringLiteral("Записей: 4, из них с отметками: 2"));
}

QTEST_MAIN(TestPdfJournal)
#include "tst_pdfjournal.moc"
