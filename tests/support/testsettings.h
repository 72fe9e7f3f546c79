// Included once by every test that makes the window: the program's settings
// (window size and place, last folder, calibration dates) go to Qt's test
// location and start empty, never touching the user's own.
#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

inline void isolateTestSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
}
Q_COREAPP_STARTUP_FUNCTION(isolateTestSettings)
