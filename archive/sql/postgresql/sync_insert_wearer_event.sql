-- A wearer event of another archive: kept once by its id.
INSERT INTO wearer_events (uid, kind, wearer, name, pager, at, assignment, entered_at, os_user,
                           pc, chain_archive, chain_seq, chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING;
