// How the window's history table is shown: stretched columns whose headers
// wrap at spaces onto two lines, and every cell's whole text as its tool tip.
// The model's texts are left as they are (the CSV and the journal read them).
#pragma once

class QTableView;

// Call once the view has its model.
void setUpHistoryView(QTableView *view);
