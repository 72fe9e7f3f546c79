// How the window's history table is shown: stretched columns whose headers
// wrap at spaces onto two lines; a cell text wider than its column wraps at
// its spaces as well (the date above the time, «Тревога» above «нейтронная»),
// and the rows are as high as the most lines any cell needs at the columns'
// present widths; every cell's whole text is also its tool tip. The model's
// texts are left as they are (the CSV and the journal read them).
#pragma once

#include <QList>

class QTableView;

// Call once the view has its model. The texts of `unwrapped` columns never
// hold a space (numbers): they are not read to size the rows.
void setUpHistoryView(QTableView *view, const QList<int> &unwrapped = {});
// The same look for a long model read as its rows come into view (the
// archive's): every row as high as the tallest of those in view, so that no
// row out of view is read to size it. Call fitLongHistoryRows when the rows
// changed (a new period).
void setUpLongHistoryView(QTableView *view);
void fitLongHistoryRows(QTableView *view);
