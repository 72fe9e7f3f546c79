#pragma once

// Writing a whole byte block to a device, and saving a file all or nothing,
// for the report writers.

#include <QByteArray>
#include <QIODevice>
#include <QSaveFile>
#include <QString>

#include <functional>

// Writes all of `bytes`, also to a device that takes them in several pieces.
// Returns false, with the device's reason in *error, when a write fails.
inline bool writeAllBytes(QIODevice *out, const QByteArray &bytes, QString *error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = out->write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            if (error) {
                const QString reason = out->errorString();
                *error = reason.isEmpty() || reason == QLatin1String("Unknown error")
                             ? QStringLiteral("Write error")
                             : QStringLiteral("Write error: %1").arg(reason);
            }
            return false;
        }
        done += written;
    }
    return true;
}

// Writes the lines `produce` gives (each to the function it is handed, which
// returns false to stop it) to `out`, already open for writing, in blocks of
// about 64 KiB. Returns false, with the reason in *error, when `out` is not
// writable or a write fails.
inline bool writeLinesInBlocks(
    QIODevice *out, QString *error,
    const std::function<bool(const std::function<bool(const QByteArray &)> &)> &produce)
{
    if (!out || !out->isWritable()) {
        if (error)
            *error = QStringLiteral("The output is not open for writing");
        return false;
    }
    constexpr int blockBytes = 64 * 1024;
    QByteArray pending;
    const bool produced = produce([&](const QByteArray &line) {
        pending += line;
        if (pending.size() < blockBytes)
            return true;
        const bool written = writeAllBytes(out, pending, error);
        pending.clear();
        return written;
    });
    return produced && (pending.isEmpty() || writeAllBytes(out, pending, error));
}

// Saves `fileName` with what `write` puts into the device it is given. The
// file is replaced only when `write` succeeded and the whole content is on
// disk; otherwise the previous file stays as it was and *error tells why.
template <typename Write>
bool saveAllOrNothing(const QString &fileName, QString *error, Write write)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error =
                QStringLiteral("Cannot open %1 for writing: %2").arg(fileName, file.errorString());
        return false;
    }
    if (!write(&file)) {
        file.cancelWriting();
        return false;
    }
    // commit() writes what is still buffered without reporting a failure of
    // that last write (a full disk, a size limit): flushed and checked first.
    if (!file.flush() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot save %1: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}
