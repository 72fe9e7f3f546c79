INSERT INTO downloads (pager, origin, downloaded_at, zone, outcome, pages, records,
                       new_records, stored_at, digest, dump_size, dump, pc, overdue_since,
                       clock_offset)
VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?)
RETURNING id;
