#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QBrush>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>

namespace {

const QDate calibration(2020, 11, 27);
const double mm = 72.0 / 25.4;

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

int pageCount(const QString &pdfName)
{
    const QString info = QString::fromUtf8(popplerOutput(QStringLiteral("pdfinfo"), {pdfName}));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

struct Word
{
    QString text;
    QRectF box; // points, from the page's top left corner
};

// The words of a page that share a line, left to right.
struct Line
{
    QList<Word> words;
    QString text() const
    {
        QStringList texts;
        for (const Word &word : words)
            texts << word.text;
        return texts.join(QLatin1Char(' '));
    }
};

struct Page
{
    QSizeF size;
    QList<Line> lines; // top to bottom
};

// The pages of a PDF as pdftotext reads them: every word with its box, put
// into lines by their height on the page, whatever blocks pdftotext saw.
QList<Page> readPages(const QString &pdfName)
{
    QList<Page> pages;
    QList<QList<Word>> words;
    QXmlStreamReader xml(
        popplerOutput(QStringLiteral("pdftotext"), {QStringLiteral("-bbox-layout"), pdfName, "-"}));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto number = [&](const char *name) {
            return xml.attributes().value(QLatin1String(name)).toDouble();
        };
        if (xml.name() == QLatin1String("page")) {
            pages.append({QSizeF(number("width"), number("height")), {}});
            words.append(QList<Word>());
        } else if (xml.name() == QLatin1String("word") && !words.isEmpty()) {
            const QRectF box(QPointF(number("xMin"), number("yMin")),
                             QPointF(number("xMax"), number("yMax")));
            words.last().append({xml.readElementText(), box});
        }
    }
    for (int p = 0; p < pages.size(); ++p) {
        QList<Word> &all = words[p];
        std::sort(all.begin(), all.end(), [](const Word &a, const Word &b) {
            return qAbs(a.box.top() - b.box.top()) > 1 ? a.box.top() < b.box.top()
                                                       : a.box.left() < b.box.left();
        });
        for (const Word &word : all) {
            if (pages[p].lines.isEmpty() ||
                qAbs(pages[p].lines.last().words.first().box.top() - word.box.top()) > 1)
                pages[p].lines.append(Line());
            pages[p].lines.last().words.append(word);
        }
    }
    return pages;
}

// The words of a row's cells, in column order, as one line reads.
QString rowText(const QAbstractItemModel *model, int row)
{
    QStringList words;
    for (int c = 0; c < model->columnCount(); ++c)
        words << model->index(row, c).data().toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.join(QLatin1Char(' '));
}

// A page rendered by pdftoppm at `dpi`.
QImage renderPage(const QString &pdfName, int page, int dpi, const QString &prefix)
{
    popplerOutput(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
                   QString::number(page), QStringLiteral("-l"), QString::number(page),
                   QStringLiteral("-png"), QStringLiteral("-singlefile"), pdfName, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 120 && qBlue(pixel) < 120;
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) < 100 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

// History rows with one of each kind of cell: alarms, an empty event cell,
// the longest event text.
void fillHistory(QStandardItemModel *model, int count)
{
    const QStringList events = {QStringLiteral("Фон"), QStringLiteral("Тревога нейтронная"),
                                QString(), QStringLiteral("Изменение количества сигм")};
    for (int i = 0; i < count; ++i)
        appendRow(model, {QStringLiteral("%1.02.1999 12:%2")
                              .arg(i / 60 % 28 + 1, 2, 10, QLatin1Char('0'))
                              .arg(i % 60, 2, 10, QLatin1Char('0')),
                          events.at(i % events.size()), QString::number(i), QStringLiteral("1.00"),
                          QStringLiteral("5.00e-01"), QStringLiteral("1.00e+00")});
}

} // namespace

class TestPdfJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesHoldTheJournal_data();
    void pagesHoldTheJournal();
    void everythingStaysInsideTheMargins();
    void alarmRowsAreRed();
    void overlongCellsWrapAtSpaces();
    void deviceReceivesTheSavedBytes();
    void writesWithoutAFileOfItsOwn();
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
                     !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() &&
                     !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

void TestPdfJournal::pagesHoldTheJournal_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("extraRow"); // added after the rows when not empty

    QTest::newRow("empty table") << "17" << 0 << QStringList();
    QTest::newRow("one sheet") << "17" << 5 << QStringList();
    QTest::newRow("several sheets") << "0042" << 150 << QStringList();
    QTest::newRow("no serial number") << "" << 2 << QStringList();
    QTest::newRow("texts as they are")
        << "SN<12>&3 %1%2" << 3 << QStringList{"<b>1</b>", "a & b", "%2", "%1", "&amp;", "<"};
}

// Heading, header row on every sheet, every row whole and in order, footers
// 1 to M, and the sheets told to the progress function.
void TestPdfJournal::pagesHoldTheJournal()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    QFETCH(QString, serial);
    QFETCH(int, rows);
    QFETCH(QStringList, extraRow);

    const auto model = historyModel();
    fillHistory(model.get(), rows);
    if (!extraRow.isEmpty())
        appendRow(model.get(), extraRow);
    const QString name = dir.filePath(QStringLiteral("pages.pdf"));
    QString error;
    int sheets = -1;
    QList<QPair<int, int>> told;
    QVERIFY2(saveJournalPdf(
                 model.get(), serial, calibration, name, &error,
                 [&](int sheet, int of) {
                     told.append({sheet, of});
                 },
                 &sheets),
             qPrintable(error));

    const QList<Page> pages = readPages(name);
    QCOMPARE(pages.size(), pageCount(name));
    QCOMPARE(sheets, pages.size());
    QCOMPARE(told.size(), sheets);
    for (int i = 0; i < told.size(); ++i)
        QCOMPARE(told.at(i), qMakePair(i + 1, sheets));
    if (rows > 100)
        QVERIFY(sheets >= 3);

    QStringList headerWords;
    for (const QString &label : historyLabels())
        headerWords << label.split(QLatin1Char(' '));
    std::sort(headerWords.begin(), headerWords.end());

    int row = 0;
    for (int p = 0; p < pages.size(); ++p) {
        const QList<Line> &lines = pages.at(p).lines;
        int at = 0;
        if (p == 0) {
            QVERIFY(lines.size() >= 4);
            QCOMPARE(lines.at(0).text(), QStringLiteral("ЖУРНАЛ"));
            QCOMPARE(lines.at(1).text(),
                     QStringLiteral("Серийный номер: %1").arg(serial).trimmed());
            QCOMPARE(lines.at(2).text(), QStringLiteral("Дата поверки: 2020-11-27"));
            at = 3;
        }
        // The header row: the six labels' words, above the rows.
        QStringList seen;
        for (; at < lines.size() - 1 &&
               (row >= model->rowCount() || lines.at(at).text() != rowText(model.get(), row));
             ++at)
            for (const Word &word : lines.at(at).words)
                seen << word.text;
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, headerWords);
        // Whole rows, continuing from the sheet before.
        const int first = row;
        for (; at < lines.size() - 1; ++at, ++row) {
            QVERIFY2(row < model->rowCount(), qPrintable(lines.at(at).text()));
            QCOMPARE(lines.at(at).text(), rowText(model.get(), row));
        }
        QVERIFY(row > first || model->rowCount() == 0);
        QCOMPARE(lines.last().text(),
                 (QStringLiteral("Журнал ") + serial +
                  QStringLiteral(" · лист %1 из %2").arg(p + 1).arg(pages.size()))
                     .simplified());
    }
    QCOMPARE(row, model->rowCount());
}

void TestPdfJournal::everythingStaysInsideTheMargins()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    const auto model = historyModel();
    fillHistory(model.get(), 120);
    const QString name = dir.filePath(QStringLiteral("margins.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));

    const QList<Page> pages = readPages(name);
    QVERIFY(pages.size() >= 2);
    const QRectF inside(QPointF(20 * mm, 10 * mm), QPointF(595.3 - 10 * mm, 841.9 - 10 * mm));
    for (int p = 0; p < pages.size(); ++p) {
        QVERIFY(qAbs(pages.at(p).size.width() - 595.3) < 1);
        QVERIFY(qAbs(pages.at(p).size.height() - 841.9) < 1);
        // The heading and the table start right at the left margin.
        const Line &top = pages.at(p).lines.first();
        QVERIFY2(qAbs(top.words.first().box.left() - 20 * mm) < 5,
                 qPrintable(QString::number(top.words.first().box.left())));
        QVERIFY2(top.words.first().box.top() < 15 * mm,
                 qPrintable(QString::number(top.words.first().box.top())));

        // Ink (text and grid) only inside the margins, and the table's grid
        // reaching to the right one.
        const int dpi = 36;
        const QImage image = renderPage(name, p + 1, dpi, dir.filePath(QStringLiteral("margins")));
        QVERIFY(!image.isNull());
        const double scale = dpi / 72.0;
        const QRect box(QPoint(int(inside.left() * scale) - 1, int(inside.top() * scale) - 1),
                        QPoint(int(inside.right() * scale) + 1, int(inside.bottom() * scale) + 1));
        int rightmost = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qGray(image.pixel(x, y)) > 240)
                    continue;
                QVERIFY2(
                    box.contains(x, y),
                    qPrintable(QStringLiteral("ink at %1,%2 on page %3").arg(x).arg(y).arg(p + 1)));
                rightmost = std::max(rightmost, x);
            }
        }
        QVERIFY2(rightmost >= box.right() - 2, qPrintable(QString::number(rightmost)));
    }
}

void TestPdfJournal::alarmRowsAreRed()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    // Rows coloured the way the window colours alarms (a brush), by a plain
    // colour, and not at all.
    const auto model = historyModel();
    fillHistory(model.get(), 4);
    for (int c = 0; c < model->columnCount(); ++c) {
        model->setData(model->index(1, c), QBrush(QColor(255, 0, 0)), Qt::ForegroundRole);
        model->setData(model->index(3, c), QColor(Qt::red), Qt::ForegroundRole);
    }
    const QString name = dir.filePath(QStringLiteral("red.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(model.get(), QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));

    const QList<Page> pages = readPages(name);
    QCOMPARE(pages.size(), 1);
    const int dpi = 150;
    const QImage image = renderPage(name, 1, dpi, dir.filePath(QStringLiteral("red")));
    QVERIFY(!image.isNull());
    const double scale = dpi / 72.0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto line =
            std::find_if(pages.first().lines.cbegin(), pages.first().lines.cend(),
                         [&](const Line &l) { return l.text() == rowText(model.get(), row); });
        QVERIFY(line != pages.first().lines.cend());
        // Every word of the row, red or not.
        for (const Word &word : line->words) {
            int red = 0, dark = 0;
            const QRect box(QPoint(int(word.box.left() * scale), int(word.box.top() * scale)),
                            QPoint(int(word.box.right() * scale), int(word.box.bottom() * scale)));
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x) {
                    red += isRed(image.pixel(x, y));
                    dark += isBlack(image.pixel(x, y));
                }
            const bool alarm = row % 2 == 1;
            QVERIFY2(alarm ? red > 0 && dark == 0 : red == 0 && dark > 0,
                     qPrintable(QStringLiteral("row %1, %2: %3 red, %4 dark")
                                    .arg(row)
                                    .arg(word.text)
                                    .arg(red)
                                    .arg(dark)));
        }
    }
}

void TestPdfJournal::overlongCellsWrapAtSpaces()
{
    if (!popplerPresent)
        QSKIP("poppler-utils not installed");
    // A cell far wider than the page, and a header label of many words.
    QStringList words, labelWords;
    for (int i = 1; i <= 60; ++i)
        words << QStringLiteral("слово%1").arg(i);
    for (int i = 1; i <= 12; ++i)
        labelWords << QStringLiteral("заголовок%1").arg(i);
    // A second overlong column, so that the two have to share the room.
    QStringList notes;
    for (int i = 1; i <= 40; ++i)
        notes << QStringLiteral("текст%1").arg(i);
    QStandardItemModel model(0, 4);
    model.setHorizontalHeaderLabels({QStringLiteral("Дата"), labelWords.join(QLatin1Char(' ')),
                                     QStringLiteral("Примечание"), QStringLiteral("Номер")});
    appendRow(&model, {QStringLiteral("01.02.1999"), words.join(QLatin1Char(' ')),
                       notes.join(QLatin1Char(' ')), "1"});
    appendRow(&model, {QStringLiteral("02.02.1999"), QStringLiteral("Фон"), "-", "2"});
    // One long word in a cell far narrower than the wrapped one: it sets how
    // narrow that column may get.
    const QString longWord(30, QChar(0x0416));
    appendRow(&model, {QStringLiteral("03.02.1999"), longWord, "-", "3"});
    const QString name = dir.filePath(QStringLiteral("wrap.pdf"));
    QString error;
    QVERIFY2(saveJournalPdf(&model, QStringLiteral("1"), calibration, name, &error),
             qPrintable(error));

    const QList<Page> pages = readPages(name);
    QCOMPARE(pages.size(), 1);
    // Whole words in reading order, over several lines.
    QStringList seen;
    int wrapped = 0;
    for (const Line &line : pages.first().lines) {
        const int before = seen.size();
        for (int w = 0; w < line.words.size(); ++w) {
            const Word &word = line.words.at(w);
            QVERIFY2(word.box.right() <= 595.3 - 10 * mm + 0.5, qPrintable(word.text));
            QVERIFY2(w == 0 || word.box.left() > line.words.at(w - 1).box.right(),
                     qPrintable(line.text()));
            if (word.text.startsWith(QStringLiteral("слово")) ||
                word.text.startsWith(QStringLiteral("заголовок")))
                seen << word.text;
        }
        wrapped += seen.size() > before;
    }
    QCOMPARE(seen, labelWords + words);
    QVERIFY2(wrapped >= 4, qPrintable(QString::number(wrapped)));
    // The rows after the wrapped one stand on one line each.
    const QList<Line> &lines = pages.first().lines;
    QCOMPARE(lines.at(lines.size() - 3).text(), QStringLiteral("02.02.1999 Фон - 2"));
    QCOMPARE(lines.at(lines.size() - 2).text(),
             QStringLiteral("03.02.1999 ") + longWord + QStringLiteral(" - 3"));
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

void TestPdfJournal::writesWithoutAFileOfItsOwn()
{
    // With no file allowed to grow past 4 KiB, a larger journal still goes
    // straight into its output.
    const auto model = historyModel();
    fillRows(model.get(), 300);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    bool written = false;
    {
        FileSizeLimit limit(4096);
        if (!limit.valid())
            QSKIP("file size limit not available");
        written = writeJournalPdf(model.get(), QStringLiteral("1"), calibration, &buffer, &error);
    }
    QVERIFY2(written, qPrintable(error));
    QVERIFY(buffer.size() > 4096);
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

QTEST_MAIN(TestPdfJournal)
#include "tst_pdfjournal.moc"
