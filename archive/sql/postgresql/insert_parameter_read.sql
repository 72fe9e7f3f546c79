INSERT INTO parameter_reads (pager, read_at, os_user, pc, uid) VALUES (?, ?, ?, ?, ?)
RETURNING id;
