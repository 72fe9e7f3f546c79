// Where the help document is put for the desktop's PDF viewer.
#pragma once

#include <QString>

// The copy beside the program ("hlp.pdf" in `programDir`) is opened as it is
// when it exists, and made from `resource` when it does not. When the
// program's folder cannot take it, a fresh copy goes to `fallbackDir`.
// Returns the path to open, or an empty string with the reason in *error.
QString prepareHelpFile(const QString &resource, const QString &programDir,
                        const QString &fallbackDir, QString *error = nullptr);
