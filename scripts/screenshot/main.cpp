// Opens the window as the operator sees it, chooses "Читать параметры" and
// "Читать историю", scrolls the table to the alarm rows (red) and saves what
// the window then shows as a PNG file; given a second file, then opens the
// plot window (with the threshold just read) and saves it too.
//
// Usage: dr7326g-screenshot OUTPUT.png [PLOT.png]

#include "historyplot.h"
#include "mainwindow.h"
#include "qttranslations.h"

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {

bool trigger(QWidget &window, const char *name)
{
    auto *action = window.findChild<QAction *>(QString::fromLatin1(name));
    if (!action) {
        std::fprintf(stderr, "dr7326g-screenshot: the window has no action %s\n", name);
        return false;
    }
    // A device action runs to its end (the history download included) before
    // trigger() returns.
    action->trigger();
    return true;
}

// The first row of the table's view that shows the most kinds of alarm rows
// (gamma, neutron, dose-rate threshold exceeded), then the most such rows; -1
// when there is none. They are the rows the table paints in a colour.
int topRowShowingAlarms(const QTableView &table)
{
    const QAbstractItemModel *model = table.model();
    if (!model || model->rowCount() == 0)
        return -1;
    const int rowHeight = qMax(1, table.rowHeight(0));
    const int visible = qMax(1, table.viewport()->height() / rowHeight);
    const int eventColumn = 1;
    QVector<bool> alarm(model->rowCount());
    for (int r = 0; r < model->rowCount(); ++r)
        alarm[r] = model->data(model->index(r, 0), Qt::ForegroundRole).isValid();

    int best = -1;
    int bestKinds = 0;
    int bestCount = 0;
    for (int a = 0; a < alarm.size(); ++a) {
        if (!alarm[a])
            continue;
        // One ordinary row above the first alarm row, when there is one.
        const int top = qMax(0, a - 1);
        QSet<QString> kinds;
        int count = 0;
        for (int r = top; r < qMin(int(alarm.size()), top + visible); ++r) {
            if (!alarm[r])
                continue;
            ++count;
            kinds.insert(model->data(model->index(r, eventColumn)).toString());
        }
        if (kinds.size() > bestKinds || (kinds.size() == bestKinds && count > bestCount)) {
            best = top;
            bestKinds = kinds.size();
            bestCount = count;
        }
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: dr7326g-screenshot OUTPUT.png [PLOT.png]\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    // The window as on a first start, whatever the operator's own settings hold.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("dr7326g-screenshot"));
    QSettings().clear();
    installQtTranslations(&app);
    const QString plotOutput = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    MainWindow window;
    window.show();

    int result = 1;
    // Whatever happens, the tool ends.
    QTimer::singleShot(120000, &app, [&]() {
        std::fprintf(stderr, "dr7326g-screenshot: gave up after two minutes\n");
        app.exit(1);
    });
    QTimer::singleShot(500, &window, [&]() {
        if (!trigger(window, "menuConnect") || !trigger(window, "menuReadHistory")) {
            app.exit(1);
            return;
        }
        // The table lays out its new rows (and its scroll range) in the event
        // loop: scroll once that has happened.
        QTimer::singleShot(300, &window, [&]() {
            auto *table = window.findChild<QTableView *>(QStringLiteral("tableView"));
            const int top = table ? topRowShowingAlarms(*table) : -1;
            if (top < 0) {
                std::fprintf(stderr, "dr7326g-screenshot: the history holds no alarm row\n");
                app.exit(1);
                return;
            }
            table->scrollTo(table->model()->index(top, 0), QAbstractItemView::PositionAtTop);
            // Let the table and the status bar repaint before the grab.
            QTimer::singleShot(500, &window, [&]() {
                if (window.grab().save(output, "PNG"))
                    result = 0;
                else
                    std::fprintf(stderr, "dr7326g-screenshot: cannot write %s\n", argv[1]);
                if (plotOutput.isEmpty() || result != 0) {
                    app.quit();
                    return;
                }
                if (!trigger(window, "menuPlotHistory")) {
                    result = 1;
                    app.quit();
                    return;
                }
                QTimer::singleShot(700, &window, [&]() {
                    QWidget *plot = window.historyPlotWindow();
                    if (!plot || !plot->grab().save(plotOutput, "PNG")) {
                        std::fprintf(stderr, "dr7326g-screenshot: cannot write %s\n", argv[2]);
                        result = 1;
                    }
                    app.quit();
                });
            });
        });
    });
    const int status = app.exec();
    return status != 0 ? status : result;
}
