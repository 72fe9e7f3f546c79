#include "historyview.h"

#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QVector>

namespace {

// The shape of a cell text: its digits as '0'. The texts of a history column
// differ only in their digits, which the usual fonts draw equally wide, so
// texts of one shape take the same room.
QString textShape(QString text)
{
    for (QChar &ch : text)
        if (ch.isDigit())
            ch = QLatin1Char('0');
    return text;
}

// Tells a cell's whole text when the mouse rests on it. The room a cell needs
// is measured once per shape of text and column width: sizing many rows to
// their contents stays quick.
class CellTextToolTip : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QString key = QStringLiteral("%1/%2/%3/")
                                .arg(index.column())
                                .arg(option.rect.width())
                                .arg(option.font.key()) +
                            textShape(index.data().toString());
        auto known = sizes.constFind(key);
        if (known != sizes.constEnd())
            return *known;
        if (sizes.size() > 4096)
            sizes.clear();
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        sizes.insert(key, size);
        return size;
    }

private:
    mutable QHash<QString, QSize> sizes;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QString text = displayText(index.data(Qt::DisplayRole), view->locale());
        // A flagged record's reasons follow the cell's text.
        const QString reasons = index.data(Qt::ToolTipRole).toString();
        if (!reasons.isEmpty())
            text = text.isEmpty() ? reasons : text + QLatin1Char('\n') + reasons;
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), text, view, option.rect);
        return true;
    }
};

// Sizes each row to its tallest cell without measuring every cell of a long
// history at each change of width. The texts of a column differ only in
// their digits (drawn equally wide by the usual fonts), and only text with a
// space wraps: rows whose wrapping texts have the same shapes form a class of
// equal height, measured on one row of the class. The height most rows have
// is the header's default; the rows of other classes are sized to their
// contents by the header.
class RowHeightFit : public QObject
{
public:
    RowHeightFit(QTableView *v, const QList<int> &unwrapped)
        : QObject(v), view(v), header(v->verticalHeader()), unwrapped(unwrapped)
    {
        refit.setSingleShot(true);
        refit.setInterval(0);
        QObject::connect(&refit, &QTimer::timeout, this, [this]() { fit(); });
        QAbstractItemModel *model = view->model();
        QObject::connect(model, &QAbstractItemModel::rowsInserted, this,
                         [this](const QModelIndex &, int first, int last) { added(first, last); });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, this, [this]() { rescan(); });
        QObject::connect(model, &QAbstractItemModel::modelReset, this, [this]() { rescan(); });
        QObject::connect(
            model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                    rescan();
            });
        // The stretched columns change width with the window.
        QObject::connect(view->horizontalHeader(), &QHeaderView::sectionResized, &refit,
                         qOverload<>(&QTimer::start));
        rescan();
    }

private:
    struct RowClass
    {
        int row;    // a row of the class
        int height; // its measured height
        int count;  // rows of the class
        bool tall;  // sized to contents: its height is not the default
    };
    QTableView *view;
    // Gone before the view's model while the view is destroyed: a model that
    // says it was reset then (a QTableWidget's does) finds nothing to size.
    QPointer<QHeaderView> header;
    QList<int> unwrapped;
    QHash<QString, int> classOf; // shapes of a row's wrapping texts -> class
    QVector<RowClass> classes;
    QVector<int> rowClass; // class of each row
    bool pending = false;  // rows of a tall class added since the last fit
    QTimer refit;

    int measure(int row) const
    {
        // Public in the base class only; the table's own measure is called.
        const QAbstractItemView *table = view;
        return table->sizeHintForRow(row);
    }

    QString shapeOf(int row) const
    {
        const QAbstractItemModel *model = view->model();
        QString shape;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (unwrapped.contains(c))
                continue;
            const QString text = model->index(row, c).data().toString();
            if (text.contains(QLatin1Char(' ')))
                shape +=
                    QString::number(c) + QLatin1Char(':') + textShape(text) + QLatin1Char('\n');
        }
        return shape;
    }

    void rescan()
    {
        classOf.clear();
        classes.clear();
        rowClass.clear();
        if (!header)
            return;
        header->setSectionResizeMode(QHeaderView::Interactive);
        added(0, view->model()->rowCount() - 1);
    }

    void added(int first, int last)
    {
        if (last < first || !header)
            return;
        rowClass.insert(first, last - first + 1, -1);
        for (int r = first; r <= last; ++r) {
            const QString shape = shapeOf(r);
            int c = classOf.value(shape, -1);
            if (c < 0) {
                c = classes.size();
                classOf.insert(shape, c);
                const int height = measure(r);
                if (classes.isEmpty())
                    header->setDefaultSectionSize(height);
                classes.append({r, height, 0, height != header->defaultSectionSize()});
            }
            rowClass[r] = c;
            ++classes[c].count;
            // Sized with the others once the rows are in (a row at a time,
            // a header with rows sized to contents would measure them all).
            if (classes.at(c).tall)
                pending = true;
        }
        if (!refit.isActive())
            refit.start();
    }

    void fit()
    {
        refit.stop();
        if (classes.isEmpty() || !header)
            return;
        QHash<int, int> rowsOfHeight;
        for (RowClass &k : classes) {
            k.height = measure(k.row);
            rowsOfHeight[k.height] += k.count;
        }
        int usual = classes.constFirst().height;
        for (auto h = rowsOfHeight.cbegin(); h != rowsOfHeight.cend(); ++h)
            if (h.value() > rowsOfHeight.value(usual))
                usual = h.key();
        if (header->defaultSectionSize() != usual) {
            header->setMinimumSectionSize(qMin(header->minimumSectionSize(), usual));
            header->setDefaultSectionSize(usual);
        }
        QVector<bool> changed(classes.size());
        bool anyChanged = false;
        for (int c = 0; c < classes.size(); ++c) {
            const bool tall = classes.at(c).height != usual;
            changed[c] = tall != classes.at(c).tall;
            anyChanged |= changed[c];
            classes[c].tall = tall;
        }
        if (anyChanged || pending)
            for (int r = 0; r < rowClass.size(); ++r)
                if (pending || changed.at(rowClass.at(r)))
                    header->setSectionResizeMode(r, classes.at(rowClass.at(r)).tall
                                                        ? QHeaderView::ResizeToContents
                                                        : QHeaderView::Interactive);
        pending = false;
        // A protected slot: sizes the rows sized to contents at the new widths.
        QMetaObject::invokeMethod(header, "resizeSections", Qt::DirectConnection);
    }
};

// Rows of one height for a long model read as it comes into view: the
// tallest row in view, measured when the model is reset and the columns
// change width (and when told, see fitLongHistoryRows), grown as taller rows
// scroll into view; no other row is read.
class RowsInViewFit : public QObject
{
public:
    explicit RowsInViewFit(QTableView *v) : QObject(v), view(v), header(v->verticalHeader())
    {
        refit.setSingleShot(true);
        refit.setInterval(0);
        QObject::connect(&refit, &QTimer::timeout, this, [this]() { fit(false); });
        header->setSectionResizeMode(QHeaderView::Fixed);
        QObject::connect(view->horizontalHeader(), &QHeaderView::sectionResized, &refit,
                         qOverload<>(&QTimer::start));
        QObject::connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
                         [this]() { fit(true); });
    }

    void fit(bool growOnly)
    {
        const QAbstractItemModel *model = view->model();
        if (!model || model->rowCount() == 0)
            return;
        // Public in the base class only; the table's own measure is called.
        const QAbstractItemView *table = view;
        const int first = qMax(0, header->logicalIndexAt(0));
        const int shown = view->viewport()->height() / qMax(1, header->defaultSectionSize()) + 1;
        int height = growOnly ? header->defaultSectionSize() : 0;
        for (int r = first; r < qMin(model->rowCount(), first + shown); ++r)
            height = qMax(height, table->sizeHintForRow(r));
        if (height > 0 && height != header->defaultSectionSize()) {
            header->setMinimumSectionSize(qMin(header->minimumSectionSize(), height));
            header->setDefaultSectionSize(height);
        }
    }

private:
    QTableView *view;
    QHeaderView *header;
    QTimer refit;
};

void setUpHistoryLook(QTableView *view)
{
    view->setItemDelegate(new CellTextToolTip(view));
    view->setWordWrap(true);
    view->setTextElideMode(Qt::ElideRight);

    QHeaderView *header = view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    // A header text wider than its column goes on at its next space on a
    // second line instead of being cut with an ellipsis.
    header->setTextElideMode(Qt::ElideNone);
    header->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    header->setMinimumHeight(header->sizeHint().height() + header->fontMetrics().lineSpacing());
}

} // namespace

void setUpHistoryView(QTableView *view, const QList<int> &unwrapped)
{
    setUpHistoryLook(view);
    new RowHeightFit(view, unwrapped);
}

void setUpLongHistoryView(QTableView *view)
{
    setUpHistoryLook(view);
    new RowsInViewFit(view);
}

void fitLongHistoryRows(QTableView *view)
{
    for (QObject *child : view->children())
        if (auto *fit = dynamic_cast<RowsInViewFit *>(child))
            fit->fit(false);
}
