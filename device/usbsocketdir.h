// Where pagers appear on POSIX systems: UNIX stream sockets named *.sock in
// $XDG_RUNTIME_DIR/dr7326g, or /tmp/dr7326g-<uid> when XDG_RUNTIME_DIR is unset.
#pragma once

#include <QString>
#include <QStringList>

namespace socketdir {

// The directory path (it may not exist).
QString path();

// True when the directory exists, belongs to this user and is not writable by
// group or others, so that no other account can pose as a pager.
bool isTrusted(const QString &dir, QString *why = nullptr);

// Creates the directory (mode 0700) when it is missing; false when it cannot
// be created or is not trusted.
bool ensure(const QString &dir, QString *why = nullptr);

// File names of the pager sockets, in name order.
QStringList pagerSockets(const QString &dir);

// When XDG_RUNTIME_DIR is unset or empty, drops the warning that Qt gives
// about it (a GUI application object asks for that folder when it starts):
// path() has its own folder for that case, so the warning tells the user
// nothing. Call before the application object is made; other messages pass.
void quietRuntimeDirWarning();

} // namespace socketdir
