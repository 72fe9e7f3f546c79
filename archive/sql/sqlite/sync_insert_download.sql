-- A download of another archive merged into this one: kept once by its pager
-- and dump digest.
INSERT INTO downloads (pager, origin, downloaded_at, zone, outcome, pages, records,
                       new_records, stored_at, digest, dump_size, dump, pc, overdue_since,
                       clock_offset, review)
VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (pager, digest) DO NOTHING;
