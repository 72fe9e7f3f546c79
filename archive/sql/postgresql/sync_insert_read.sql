-- A parameter read sent by a PC: kept once by its id.
INSERT INTO parameter_reads (pager, read_at, os_user, pc, uid, clock_offset, chain_archive,
                             chain_seq, chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING
RETURNING id;
