-- A wearer entered, a pager given or returned: appended, never changed.
INSERT INTO wearer_events (uid, kind, wearer, name, pager, at, assignment, entered_at, os_user,
                           pc)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
RETURNING id;
