-- A wearer event of another archive: kept once by its id.
INSERT INTO wearer_events (uid, kind, wearer, name, pager, at, assignment, entered_at, os_user,
                           pc)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING;
