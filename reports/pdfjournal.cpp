#include "pdfjournal.h"

#include "csvexport.h"
#include "devicewrite.h"
#include "historyflags.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QDate>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QLineF>
#include <QLocale>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

// Page margins, millimetres: left, top, right, bottom.
const QMarginsF pageMargins(20, 10, 10, 10);

// The journal names its font, so that it looks the same whatever the
// desktop's font is; both carry the Cyrillic letters.
#ifdef Q_OS_WIN
const char fontFamily[] = "Arial";
#else
const char fontFamily[] = "DejaVu Sans";
#endif

// Sizes in points. At the table's size the six history columns fit the
// width of the page side by side.
constexpr qreal tableFontSize = 8.5;
constexpr qreal headingFontSize = 14;
constexpr qreal textFontSize = 10;
constexpr qreal footerFontSize = 8;
constexpr qreal cellPaddingX = 3;
constexpr qreal cellPaddingY = 1.5;
constexpr qreal gridLineWidth = 0.5;

const QColor headerFill(232, 232, 232);

QFont journalFont(qreal points, bool bold, const QPaintDevice *device)
{
    QFont font(QString::fromLatin1(fontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    // Outline advances, so that a text measures the same at any resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    return QFont(font, device);
}

// Passes the PDF bytes on to the output as they come and keeps the reason of
// the first failed write; nothing is passed on after it.
class ForwardingDevice : public QIODevice
{
public:
    explicit ForwardingDevice(QIODevice *target) : target(target) {}
    bool failed() const { return !failure.isEmpty(); }
    QString failure;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (failed())
            return -1;
        if (!writeAllBytes(target, QByteArray::fromRawData(data, int(size)), &failure)) {
            if (failure.isEmpty())
                failure = QStringLiteral("Write error");
            return -1;
        }
        return size;
    }

private:
    QIODevice *target;
};

// Measures and paints texts of one font without shaping a text each time:
// the glyph and advance of every character are looked up once, a text's
// width is the sum of its advances, and the glyphs of all texts of one
// colour on a page are painted together as one run at those advances (each
// glyph placed on a whole dot), so a text is as wide as measured and the page
// stays small. A text with a character outside the plain left-to-right
// scripts (or one the font lacks) goes through the painter's full text layout
// instead.
class TextPainter
{
public:
    explicit TextPainter(const QFont &font, const QPaintDevice *device)
        : font(font), metrics(font, device), raw(QRawFont::fromFont(font))
    {
    }

    qreal ascent() const { return metrics.ascent(); }
    qreal lineHeight() const { return metrics.height(); }

    qreal width(const QString &text)
    {
        qreal sum = 0;
        for (const QChar c : text) {
            const Glyph *g = glyph(c);
            if (!g)
                return metrics.horizontalAdvance(text);
            sum += g->advance;
        }
        return sum;
    }

    // Paints `text` in `colours[colour]` with its baseline starting at
    // `origin`, now or at the next flush().
    void draw(QPainter &painter, const QVector<QColor> &colours, int colour, const QPointF &origin,
              const QString &text)
    {
        if (pending.size() <= colour)
            pending.resize(colour + 1);
        Run &run = pending[colour];
        const int kept = run.indexes.size();
        qreal x = origin.x();
        const qreal y = std::round(origin.y());
        for (const QChar c : text) {
            const Glyph *g = glyph(c);
            if (!g) {
                run.indexes.resize(kept);
                run.positions.resize(kept);
                painter.setPen(colours.at(colour));
                painter.setFont(font);
                painter.drawText(origin, text);
                return;
            }
            run.indexes.append(g->index);
            run.positions.append(QPointF(std::round(x), y));
            x += g->advance;
        }
    }

    // Paints what draw() has gathered.
    void flush(QPainter &painter, const QVector<QColor> &colours)
    {
        QGlyphRun glyphs;
        glyphs.setRawFont(raw);
        for (int colour = 0; colour < pending.size(); ++colour) {
            Run &run = pending[colour];
            if (run.indexes.isEmpty())
                continue;
            glyphs.setGlyphIndexes(run.indexes);
            glyphs.setPositions(run.positions);
            painter.setPen(colours.at(colour));
            painter.drawGlyphRun(QPointF(0, 0), glyphs);
            run.indexes.clear();
            run.positions.clear();
        }
    }

    // The lines of `text` within `width`, broken at spaces only: a word
    // wider than `width` stays whole on a line of its own.
    QStringList lines(const QString &text, qreal width)
    {
        QStringList result;
        QString line;
        const QVector<QStringRef> words = text.splitRef(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QStringRef &word : words) {
            const QString candidate =
                line.isEmpty() ? word.toString() : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && this->width(candidate) > width) {
                result << line;
                line = word.toString();
            } else {
                line = candidate;
            }
        }
        if (!line.isEmpty() || result.isEmpty())
            result << line;
        return result;
    }

    // The width of the widest word of `text`.
    qreal widestWord(const QString &text)
    {
        qreal widest = 0;
        const QVector<QStringRef> words = text.splitRef(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QStringRef &word : words)
            widest = std::max(widest, width(word.toString()));
        return widest;
    }

private:
    struct Glyph
    {
        quint32 index = 0;
        qreal advance = 0;
        bool known = false;
        bool usable = false;
    };

    // Latin, Greek and Cyrillic letters, digits and signs map one character
    // to one glyph; control characters and combining marks do not.
    static bool plain(ushort u)
    {
        return u >= 0x20 && u < 0x0500 && !(u >= 0x7F && u < 0xA0) && !(u >= 0x0300 && u < 0x0370);
    }

    const Glyph *glyph(QChar c)
    {
        const ushort u = c.unicode();
        if (!plain(u))
            return nullptr;
        Glyph &g = table[u];
        if (!g.known) {
            g.known = true;
            int count = 1;
            QPointF advance;
            if (raw.glyphIndexesForChars(&c, 1, &g.index, &count) && count == 1 && g.index != 0 &&
                raw.advancesForGlyphIndexes(&g.index, &advance, 1)) {
                g.advance = advance.x();
                g.usable = true;
            }
        }
        return g.usable ? &g : nullptr;
    }

    struct Run
    {
        QVector<quint32> indexes;
        QVector<QPointF> positions;
    };

    QFont font;
    QFontMetricsF metrics;
    QRawFont raw;
    std::vector<Glyph> table = std::vector<Glyph>(0x0500);
    QVector<Run> pending; // per colour
};

// The model's texts and colours, read in one pass, with the width of every
// text at the table's font.
struct TableTexts
{
    int rows = 0;
    int columns = 0;
    QStringList headers;
    QVector<QString> cells;  // row after row
    QVector<float> widths;   // of each cell's text
    QVector<quint8> colours; // per cell, index into `palette`
    QVector<QColor> palette{QColor(Qt::black)};

    int at(int row, int column) const { return row * columns + column; }
};

quint8 colourIndex(TableTexts &table, const QVariant &foreground)
{
    QColor colour;
    if (foreground.userType() == QMetaType::QBrush)
        colour = foreground.value<QBrush>().color();
    else if (foreground.userType() == QMetaType::QColor)
        colour = foreground.value<QColor>();
    if (!colour.isValid())
        return 0;
    const int known = table.palette.indexOf(colour);
    if (known >= 0)
        return quint8(known);
    if (table.palette.size() > 255)
        return 0;
    table.palette.append(colour);
    return quint8(table.palette.size() - 1);
}

TableTexts readTable(const QAbstractItemModel *model, TextPainter &cellText)
{
    TableTexts table;
    if (!model)
        return table;
    table.columns = model->columnCount();
    table.rows = table.columns > 0 ? model->rowCount() : 0;
    for (int c = 0; c < table.columns; ++c)
        table.headers << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const int count = table.rows * table.columns;
    table.cells.reserve(count);
    table.widths.reserve(count);
    table.colours.reserve(count);
    for (int r = 0; r < table.rows; ++r) {
        for (int c = 0; c < table.columns; ++c) {
            const QModelIndex index = model->index(r, c);
            const QString text = model->data(index, Qt::DisplayRole).toString();
            table.cells.append(text);
            table.widths.append(float(cellText.width(text)));
            table.colours.append(colourIndex(table, model->data(index, Qt::ForegroundRole)));
        }
    }
    return table;
}

// The widths of the columns, filling `available`. A column is as wide as its
// widest cell or the widest word of its header, whichever is wider; the room
// left over first lets headers stand on one line, the rest is shared out in
// proportion. When the cells do not fit side by side, the widest columns are
// narrowed (their cells then wrap at spaces), never below their widest word.
QVector<qreal> columnWidths(const TableTexts &table, TextPainter &cellText, TextPainter &headerText,
                            qreal available, qreal padding)
{
    const int columns = table.columns;
    QVector<qreal> need(columns), oneLine(columns);
    for (int c = 0; c < columns; ++c) {
        qreal widest = 0;
        for (int r = 0; r < table.rows; ++r)
            widest = std::max(widest, qreal(table.widths.at(table.at(r, c))));
        need[c] = std::max(widest, headerText.widestWord(table.headers.at(c))) + 2 * padding;
        oneLine[c] = std::max(need[c], headerText.width(table.headers.at(c)) + 2 * padding);
    }
    qreal total = std::accumulate(need.cbegin(), need.cend(), qreal(0));
    QVector<qreal> widths = need;

    if (total <= available) {
        const qreal extra = available - total;
        const qreal wanted = std::accumulate(oneLine.cbegin(), oneLine.cend(), qreal(0)) - total;
        const qreal share = wanted > extra ? extra / wanted : 1;
        for (int c = 0; c < columns; ++c)
            widths[c] += (oneLine[c] - need[c]) * share;
    } else {
        QVector<qreal> least(columns);
        for (int c = 0; c < columns; ++c) {
            qreal widest = headerText.widestWord(table.headers.at(c));
            for (int r = 0; r < table.rows; ++r) {
                // A text no wider than the widest word so far holds no wider word.
                const int i = table.at(r, c);
                if (table.widths.at(i) > widest)
                    widest = std::max(widest, cellText.widestWord(table.cells.at(i)));
            }
            least[c] = std::min(need[c], widest + 2 * padding);
        }
        // The largest cap on the widths that lets the columns fit.
        const auto capped = [&](qreal cap) {
            qreal sum = 0;
            for (int c = 0; c < columns; ++c)
                sum += std::max(least[c], std::min(need[c], cap));
            return sum;
        };
        qreal low = 0, high = *std::max_element(need.cbegin(), need.cend());
        for (int i = 0; i < 40; ++i) {
            const qreal middle = (low + high) / 2;
            (capped(middle) <= available ? low : high) = middle;
        }
        for (int c = 0; c < columns; ++c)
            widths[c] = std::max(least[c], std::min(need[c], low));
    }

    total = std::accumulate(widths.cbegin(), widths.cend(), qreal(0));
    if (total > 0 && total < available)
        for (qreal &w : widths)
            w *= available / total;
    return widths;
}

QString footerText(const QString &serialNumber, int sheet, int sheets)
{
    return (serialNumber.isEmpty() ? QStringLiteral("Журнал")
                                   : QStringLiteral("Журнал ") + serialNumber) +
           QStringLiteral(" · лист %1 из %2").arg(sheet).arg(sheets);
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

JournalHeading journalHeading(const QString &serialNumber, const QDate &calibrationDate,
                              const QDate &overdueSince)
{
    JournalHeading heading;
    heading.serialNumber = serialNumber;
    heading.lines << QStringLiteral("Серийный номер: ") + serialNumber
                  << QStringLiteral("Дата поверки: ") +
                         QLocale::c().toString(calibrationDate, QStringLiteral("dd.MM.yyyy"));
    if (overdueSince.isValid())
        heading.lines << overdueCalibrationText(overdueSince);
    return heading;
}

JournalHeading periodJournalHeading(const QString &serialNumber, const QDate &calibrationDate,
                                    const QDate &overdueSince, const QString &period,
                                    const QList<ArchiveReview> &reviews)
{
    JournalHeading heading = journalHeading(serialNumber, calibrationDate, overdueSince);
    heading.lines.insert(1, QStringLiteral("Период: ") + period);
    for (const ArchiveReview &r : reviews) {
        const QString download =
            QStringLiteral("Чтение %1: ")
                .arg(r.downloadedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        if (r.signatures.isEmpty())
            heading.lines << download + QStringLiteral("Не проверено");
        for (const ArchiveSignature &s : r.signatures)
            heading.lines << download + signatureLine(s);
    }
    return heading;
}

bool writeJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                     const QDate &calibrationDate, QIODevice *out, QString *error,
                     const JournalProgress &progress, int *sheets)
{
    return writeJournalPdf(model, journalHeading(serialNumber, calibrationDate), out, error,
                           progress, sheets);
}

bool writeJournalPdf(const QAbstractItemModel *model, const JournalHeading &given, QIODevice *out,
                     QString *error, const JournalProgress &progress, int *sheets)
{
    // A history table's journal counts its records and the flagged ones.
    JournalHeading heading = given;
    if (model && model->rowCount() > 0 &&
        model->data(model->index(0, 0), historyFlagsRole).isValid()) {
        int flagged = 0;
        for (int r = 0; r < model->rowCount(); ++r)
            flagged += model->data(model->index(r, 0), historyFlagsRole).toUInt() ? 1 : 0;
        heading.lines << QStringLiteral("Записей: %1, из них с отметками: %2")
                             .arg(model->rowCount())
                             .arg(flagged);
    }
    const QString &serialNumber = heading.serialNumber;
    if (!out || !out->isWritable()) {
        setError(error, QStringLiteral("The output is not open for writing"));
        return false;
    }
    ForwardingDevice device(out);
    device.open(QIODevice::WriteOnly);

    QPdfWriter writer(&device);
    writer.setCreator(QStringLiteral("DR7326G-05A"));
    writer.setTitle(QStringLiteral("Журнал %1").arg(serialNumber));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, pageMargins,
                                     QPageLayout::Millimeter));

    // Lengths from here on are in the writer's dots, from the top left
    // corner inside the margins.
    const qreal point = writer.resolution() / 72.0;
    const qreal pageWidth = writer.width();
    const qreal pageHeight = writer.height();

    const QFont headingFont = journalFont(headingFontSize, true, &writer);
    const QFont textFont = journalFont(textFontSize, false, &writer);
    const QFont footerFont = journalFont(footerFontSize, false, &writer);
    TextPainter cellText(journalFont(tableFontSize, false, &writer), &writer);
    TextPainter headerText(journalFont(tableFontSize, true, &writer), &writer);
    const QFontMetricsF headingMetrics(headingFont, &writer);
    const QFontMetricsF textMetrics(textFont, &writer);
    const QFontMetricsF footerMetrics(footerFont, &writer);

    const TableTexts table = readTable(model, cellText);
    const int columns = table.columns;
    const qreal padX = cellPaddingX * point;
    const qreal padY = cellPaddingY * point;
    const QVector<qreal> widths = columnWidths(table, cellText, headerText, pageWidth, padX);
    QVector<qreal> edges{0};
    for (const qreal w : widths)
        edges << edges.last() + w;

    // The header labels as they wrap in their columns.
    QVector<QStringList> headerLines(columns);
    int headerLineCount = 1;
    for (int c = 0; c < columns; ++c) {
        headerLines[c] = headerText.lines(table.headers.at(c), widths.at(c) - 2 * padX);
        headerLineCount = std::max(headerLineCount, int(headerLines.at(c).size()));
    }
    const qreal lineHeight = std::max(cellText.lineHeight(), headerText.lineHeight());
    const qreal headerHeight = headerLineCount * lineHeight + 2 * padY;

    // Each row's height, measured once; the rare cell wider than its column
    // keeps its wrapped lines.
    QVector<quint16> rowLines(table.rows, 1);
    QHash<int, QStringList> wrapped;
    for (int r = 0; r < table.rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int i = table.at(r, c);
            if (table.widths.at(i) > widths.at(c) - 2 * padX) {
                const QStringList lines =
                    cellText.lines(table.cells.at(i), widths.at(c) - 2 * padX);
                wrapped.insert(i, lines);
                rowLines[r] =
                    quint16(std::min(std::max(int(rowLines.at(r)), int(lines.size())), 0xFFFF));
            }
        }
    }
    const auto rowHeight = [&](int r) { return rowLines.at(r) * lineHeight + 2 * padY; };

    // The heading on the first sheet, the footer on every sheet.
    const qreal headingHeight = headingMetrics.lineSpacing() +
                                heading.lines.size() * textMetrics.lineSpacing() +
                                textMetrics.lineSpacing() / 2;
    const qreal tableBottom = pageHeight - footerMetrics.lineSpacing() - 4 * point;

    // Sheets: the first row of each, worked out before painting so that
    // every footer can name the number of sheets. A sheet holds at least one
    // row, even one taller than the sheet.
    QVector<int> firstRows{0};
    {
        qreal y = headingHeight + headerHeight;
        for (int r = 0; r < table.rows; ++r) {
            if (r > firstRows.last() && y + rowHeight(r) > tableBottom) {
                firstRows << r;
                y = headerHeight;
            }
            y += rowHeight(r);
        }
    }
    const int sheetCount = firstRows.size();
    firstRows << table.rows;

    QPainter painter;
    if (!painter.begin(&writer)) {
        setError(error,
                 device.failed() ? device.failure : QStringLiteral("The PDF could not be started"));
        return false;
    }
    const QPen gridPen(Qt::black, gridLineWidth * point);
    QVector<QLineF> grid;

    for (int sheet = 0; sheet < sheetCount && !device.failed(); ++sheet) {
        if (sheet > 0)
            writer.newPage();
        qreal y = 0;
        if (sheet == 0) {
            painter.setPen(Qt::black);
            painter.setFont(headingFont);
            painter.drawText(QPointF(0, headingMetrics.ascent()), heading.title);
            y = headingMetrics.lineSpacing();
            painter.setFont(textFont);
            for (const QString &line : heading.lines) {
                painter.drawText(QPointF(0, y + textMetrics.ascent()), line);
                y += textMetrics.lineSpacing();
            }
            y = headingHeight;
        }
        const qreal tableTop = y;
        grid.clear();

        if (columns > 0) {
            painter.fillRect(QRectF(0, y, edges.last(), headerHeight), headerFill);
            for (int c = 0; c < columns; ++c) {
                qreal lineY = y + padY + headerText.ascent();
                for (const QString &line : headerLines.at(c)) {
                    headerText.draw(painter, table.palette, 0, QPointF(edges.at(c) + padX, lineY),
                                    line);
                    lineY += lineHeight;
                }
            }
            headerText.flush(painter, table.palette);
            y += headerHeight;
            grid << QLineF(0, tableTop, edges.last(), tableTop);
            grid << QLineF(0, y, edges.last(), y);
        }

        for (int r = firstRows.at(sheet); r < firstRows.at(sheet + 1); ++r) {
            const qreal baseline = y + padY + cellText.ascent();
            for (int c = 0; c < columns; ++c) {
                const int i = table.at(r, c);
                const QString &text = table.cells.at(i);
                const int colour = table.colours.at(i);
                const QPointF origin(edges.at(c) + padX, baseline);
                const auto lines = wrapped.constFind(i);
                if (lines == wrapped.cend()) {
                    cellText.draw(painter, table.palette, colour, origin, text);
                    continue;
                }
                qreal lineY = 0;
                for (const QString &line : *lines) {
                    cellText.draw(painter, table.palette, colour, origin + QPointF(0, lineY), line);
                    lineY += lineHeight;
                }
            }
            y += rowHeight(r);
            grid << QLineF(0, y, edges.last(), y);
        }

        cellText.flush(painter, table.palette);
        for (const qreal x : edges)
            if (columns > 0)
                grid << QLineF(x, tableTop, x, y);
        painter.setPen(gridPen);
        painter.drawLines(grid);

        painter.setPen(Qt::black);
        painter.setFont(footerFont);
        const QString footer = footerText(serialNumber, sheet + 1, sheetCount);
        painter.drawText(QPointF((pageWidth - footerMetrics.horizontalAdvance(footer)) / 2,
                                 pageHeight - footerMetrics.descent()),
                         footer);
        if (progress)
            progress(sheet + 1, sheetCount);
    }
    const bool ended = painter.end();
    if (device.failed()) {
        setError(error, device.failure);
        return false;
    }
    if (!ended) {
        setError(error, QStringLiteral("The PDF could not be finished"));
        return false;
    }
    if (sheets)
        *sheets = sheetCount;
    return true;
}

bool saveJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate, const QString &fileName, QString *error,
                    const JournalProgress &progress, int *sheets, const QDate &overdueSince)
{
    return saveJournalPdf(model, journalHeading(serialNumber, calibrationDate, overdueSince),
                          fileName, error, progress, sheets);
}

bool saveJournalPdf(const QAbstractItemModel *model, const JournalHeading &heading,
                    const QString &fileName, QString *error, const JournalProgress &progress,
                    int *sheets)
{
    return saveAllOrNothing(fileName, error, [&](QIODevice *out) {
        return writeJournalPdf(model, heading, out, error, progress, sheets);
    });
}
