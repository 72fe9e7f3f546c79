-- A setting change of another archive merged into this one: kept once by its id.
INSERT INTO setting_changes (pager, changed_at, os_user, setting, value_before, value_sent,
                             outcome, pc, uid, clock_offset, chain_archive, chain_seq,
                             chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING;
