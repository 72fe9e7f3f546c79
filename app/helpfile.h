// Where the help document is put for the desktop's PDF viewer.
#pragma once

#include <QByteArray>
#include <QString>

// The copy beside the program ("hlp.pdf" in `programDir`) is opened as it is
// when it exists, and made from `resource` when it does not. When the
// program's folder cannot take it, the copy in `fallbackDir` is used: kept
// when it holds the very bytes of `resource`, replaced when it differs, and,
// when it cannot be replaced, still opened if it is a whole PDF document. An
// empty `programDir` means no copy beside the program: only `fallbackDir` is used.
// The copies are written whole or not at all and stay writable by the user.
// Returns the path to open, or an empty string with the reason (Russian) in
// *error.
QString prepareHelpFile(const QString &resource, const QString &programDir,
                        const QString &fallbackDir, QString *error = nullptr);

// Whether `bytes` look like a whole PDF file: its header, and its end-of-file
// mark near the end.
bool isWholePdf(const QByteArray &bytes);
