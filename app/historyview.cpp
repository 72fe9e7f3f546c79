#include "historyview.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>

namespace {

// Tells a cell's whole text when the mouse rests on it: a stretched column
// may be too narrow for a date or an event name.
class CellTextToolTip : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = displayText(index.data(Qt::DisplayRole), view->locale());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), text, view, option.rect);
        return true;
    }
};

} // namespace

void setUpHistoryView(QTableView *view)
{
    view->setItemDelegate(new CellTextToolTip(view));

    QHeaderView *header = view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    // A header text wider than its column goes on at its next space on a
    // second line instead of being cut with an ellipsis.
    header->setTextElideMode(Qt::ElideNone);
    header->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    header->setMinimumHeight(header->sizeHint().height() + header->fontMetrics().lineSpacing());
}
