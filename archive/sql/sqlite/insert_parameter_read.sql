INSERT INTO parameter_reads (pager, read_at, os_user, pc, uid, clock_offset)
VALUES (?, ?, ?, ?, ?, ?);
