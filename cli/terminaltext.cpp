#include "terminaltext.h"

#include "historyflags.h"

#include <QAbstractItemModel>
#include <QTextStream>

QString shownText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\\')
            shown += QLatin1String("\\\\");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (!c.isPrint() && !c.isSurrogate())
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

void printTableRows(const QAbstractItemModel &model, QTextStream &out)
{
    constexpr int rowsAtOnce = 1000;
    const int rows = model.rowCount(), columns = model.columnCount();
    QString text;
    for (int first = 0; first < rows; first += rowsAtOnce) {
        text.clear();
        for (int r = first; r < qMin(rows, first + rowsAtOnce); ++r) {
            for (int c = 0; c < columns; ++c) {
                if (c > 0)
                    text += QLatin1Char('\t');
                text += model.data(model.index(r, c)).toString();
            }
            // A history table's rows end with the names of their flags.
            const QVariant flags = model.data(model.index(r, 0), historyFlagsRole);
            if (flags.isValid())
                text += QLatin1Char('\t') + recordFlagNames(std::uint8_t(flags.toUInt()));
            text += QLatin1Char('\n');
        }
        out << text;
    }
    out.flush();
}

QString shownRow(const QStringList &cells)
{
    QStringList shown;
    for (const QString &cell : cells)
        shown << (cell.isEmpty() ? QStringLiteral("-") : shownText(cell));
    return shown.join(QLatin1Char('\t'));
}
