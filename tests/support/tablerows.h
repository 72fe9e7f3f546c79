// The window's history table as the command-line tool prints it: each row's
// six cell texts and the names of its flags joined by tabs.
#pragma once

#include "historyflags.h"
#include "mainwindow.h"

#include <QStringList>
#include <QTableView>

inline QStringList tableRows(const MainWindow &window)
{
    const QAbstractItemModel *model = window.findChild<QTableView *>()->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->index(r, c).data().toString();
        cells << recordFlagNames(std::uint8_t(model->index(r, 0).data(historyFlagsRole).toUInt()));
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows;
}
