// Text the tool did not write itself (from the pager, a dump, the archive or
// the lab's server), made safe for a terminal before it is printed.
//
// Contract: the result holds no control character: each one (an ESC
// sequence would be executed, a TAB or a line feed would split a row) and the
// backslash are written as escapes (\x1b, \\), and a character that cannot
// be printed as \uXXXX; printable text comes out as it was.
#pragma once

#include <QString>
#include <QStringList>

QString shownText(const QString &text);

// One printed row of a listing: each cell shown as above, "-" for an empty
// one, separated by tabs.
QString shownRow(const QStringList &cells);

class QAbstractItemModel;
class QTextStream;

// Prints the rows of a table as the tool does (`decode`, `history`,
// `archive records`): each row's display texts separated by tabs, one row a
// line; a thousand rows a write, not a cell at a time.
void printTableRows(const QAbstractItemModel &model, QTextStream &out);
