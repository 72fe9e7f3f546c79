#pragma once

// Shared by the report tests: history-like table models, an output device
// that fails after a number of bytes, and a file size limit that makes real
// writes fail (also for root, who ignores file permissions).

#include <QIODevice>
#include <QStandardItemModel>
#include <QStringList>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

inline QStringList historyLabels()
{
    return {QStringLiteral("Дата"),
            QStringLiteral("Событие"),
            QStringLiteral("CPS гамма (имп/с)"),
            QStringLiteral("CPS нейтроны (имп/с)"),
            QStringLiteral("МЭД (Зв/ч)"),
            QStringLiteral("ЭД (Зв)")};
}

// A model set up like the window's history table: the six labels, no rows.
inline std::unique_ptr<QStandardItemModel> historyModel()
{
    auto model = std::make_unique<QStandardItemModel>();
    model->setHorizontalHeaderLabels(historyLabels());
    return model;
}

// Appends a row of cell texts; a null QString leaves that cell without an
// item, as the table does for an unknown event code.
inline void appendRow(QStandardItemModel *model, const QStringList &cells)
{
    const int row = model->rowCount();
    model->insertRow(row);
    for (int column = 0; column < cells.size(); ++column) {
        if (!cells.at(column).isNull())
            model->setItem(row, column, new QStandardItem(cells.at(column)));
    }
}

// Rows like a downloaded history: a distinct date per row, so every row can
// be found again in the output.
inline void fillRows(QStandardItemModel *model, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString date = QStringLiteral("%1.02.1999 %2:%3")
                                 .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                                 .arg(i / 60 % 24, 2, 10, QLatin1Char('0'))
                                 .arg(i % 60, 2, 10, QLatin1Char('0'));
        appendRow(model, {date, i % 2 ? QStringLiteral("Фон") : QStringLiteral("Тревога гамма"),
                          QString::number(i), QStringLiteral("1.00"), QStringLiteral("5.00e-01"),
                          QStringLiteral("1.00e+00")});
    }
}

// Accepts `capacity` bytes, then fails every write, like a full disk.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity) : capacity(capacity) {}
    QByteArray accepted;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 room = capacity - accepted.size();
        if (room <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 taken = qMin(room, size);
        accepted.append(data, int(taken));
        return taken;
    }

private:
    qint64 capacity;
};

// While it lives, no file of this process can grow beyond `bytes` (writes
// past the limit fail with EFBIG). valid() is false where that is not
// available.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
#ifdef Q_OS_UNIX
        if (getrlimit(RLIMIT_FSIZE, &previous) != 0)
            return;
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous;
        limit.rlim_cur = rlim_t(bytes);
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
#else
        Q_UNUSED(bytes)
#endif
    }
    ~FileSizeLimit()
    {
#ifdef Q_OS_UNIX
        if (active)
            setrlimit(RLIMIT_FSIZE, &previous);
#endif
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool valid() const
    {
        return active;
    }

private:
    bool active = false;
#ifdef Q_OS_UNIX
    rlimit previous{};
#endif
};
