-- A download sent by a PC: kept once by its pager, dump digest and chain.
INSERT INTO downloads (pager, origin, downloaded_at, zone, outcome, pages, records,
                       new_records, stored_at, digest, dump_size, dump, pc, overdue_since,
                       clock_offset, review, records_digest, chain_archive, chain_seq,
                       chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (pager, digest, chain_archive) DO NOTHING
RETURNING id;
