#pragma once

// Writing a whole byte block to a device, for the report writers.

#include <QByteArray>
#include <QIODevice>
#include <QString>

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
