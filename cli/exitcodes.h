// The command-line tool's exit statuses (its --help lists them).
#pragma once

enum ExitCode {
    ExitOk = 0,
    ExitFailure = 1, // a file could not be read or written, or what the command
                     // should have stored in the archive was not stored
    ExitUsage = 2,   // also: several pagers answered and --serial named none
    ExitNoPager = 3,
    ExitRefused = 4,     // the pager refused or did not confirm a change
    ExitIncomplete = 5,  // the history download stopped before its end
    ExitDue = 6,         // instruments due: a pager is due for calibration (or overdue)
    ExitAttention = 7,   // fleet check: a pager's settings are not as the policy wants;
                         // archive unread: a pager not read within the days
    ExitTrailBroken = 8, // archive verify: an event or record does not match its chain
    ExitNoRights = 9,    // the lab's server refused for lack of rights (the user's role)
};
