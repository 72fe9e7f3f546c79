// Which pager the window talks to when several answer at once.
//
// connectChosenPager() opens the connection of one window action. With one
// pager attached it is PagerLink::connect(). When several answer and none is
// chosen yet (link.wantedSerial empty), a dialog lists their serial numbers,
// with the last time each was read when a lookup is given; the choice is kept
// in link.wantedSerial, so later actions reach that pager without asking,
// until the window clears it. Nothing is open while the dialog is shown.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class PagerLink;
class QWidget;

// When the pager with this serial number was last read; an invalid time when
// it never was (or nothing is known of it).
using LastReadLookup = std::function<QDateTime(const QString &serial)>;

// Asks which of the serial numbers to use: the one chosen, or an empty string
// when the operator cancels. Without a lookup the dialog has no column for
// the last reading.
// A pager's calibration as the chooser names it («Поверка просрочена с …»);
// empty when there is nothing to warn of.
using CalibrationLookup = std::function<QString(const QString &serial)>;

// With a calibration lookup, a pager it warns of is told in a column of its
// own (and tinted).
QString askForPager(QWidget *parent, const QStringList &serials, const LastReadLookup &lastRead,
                    const CalibrationLookup &calibration = {});

// True with the chosen pager connected; false, with the status bar's message
// in *failure, when no pager answered, the chosen one did not, or the
// operator chose none.
bool connectChosenPager(PagerLink &link, QWidget *parent, const LastReadLookup &lastRead,
                        QString *failure, const CalibrationLookup &calibration = {});
