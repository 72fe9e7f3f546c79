// Opens the window as the operator sees it, chooses "Читать параметры" and
// saves what the window then shows as a PNG file.
//
// Usage: dr7326g-screenshot OUTPUT.png

#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dr7326g-screenshot OUTPUT.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    MainWindow window;
    window.show();

    int result = 1;
    QTimer::singleShot(500, &window, [&]() {
        auto *read = window.findChild<QAction *>(QStringLiteral("menuConnect"));
        if (read)
            read->trigger();
        // Let the filled fields and the status bar repaint before the grab.
        QTimer::singleShot(500, &window, [&]() {
            if (window.grab().save(output, "PNG"))
                result = 0;
            else
                std::fprintf(stderr, "dr7326g-screenshot: cannot write %s\n", argv[1]);
            app.quit();
        });
    });
    app.exec();
    return result;
}
