// A change of one of the pager's settings, made the same way wherever it is
// made (the set- commands, the settings policy, the station): the value sent,
// read back, and logged in the archive as the change it was. And the
// settings policy applied to one pager: its settings read (and kept in the
// archive as a parameter read), and each one that is not as wanted changed.
//
// Contract: a change is Stored only when the pager accepted it and then reads
// back the value as it keeps it (sigmas in whole tenths); accepted but read
// back otherwise, or not read back, it is NotConfirmed; Refused and NoAnswer
// as settingOutcome() tells them. Nothing is logged when the archive is not
// open. Nothing is sent for a setting whose current value the pager did not
// tell.
#pragma once

#include "archive.h"
#include "settingspolicy.h"

#include <QString>
#include <QStringList>

class PagerLink;

struct SettingChange
{
    QString setting;  // its name (settingnames.h)
    QString sent;     // as the pager keeps it
    QString readBack; // empty when not read back
    SettingOutcome outcome = SettingOutcome::NoAnswer;
    QString archiveError; // why it was not logged in the open archive
};

// Sends `value` as the setting named `setting` to the pager open on `link`,
// reads it back and logs it in `archive` (when open), with the pager's clock
// offset read after a change it took. The history interval
// takes whole minutes; the caller has checked that the value can travel.
SettingChange changeSetting(PagerLink &link, Archive &archive, const QString &setting, float value);

// The outcome's word for a message: "set", "refused", ...
QString settingChangeText(const SettingChange &change);

struct PolicyApplication
{
    QList<SettingDeviation> deviations; // as read from the pager before
    QList<SettingChange> changes;       // one for each deviation, in order
    QStringList unanswered;             // settings the pager did not tell
    QStringList archiveErrors;          // what was not stored in the open archive
    bool complete() const;              // every deviation stored, every setting told
};

// Applies the policy to the pager open on `link`: its settings the policy
// names are read and kept in `archive` (when open) as a parameter read, and
// each that deviates is changed.
PolicyApplication applySettingsPolicy(PagerLink &link, Archive &archive,
                                      const SettingsPolicy &policy);
