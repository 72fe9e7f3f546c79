-- Parameter reads after the last one a server took, oldest first, at most ?.
SELECT r.id, p.serial, r.read_at, r.os_user, r.pc, r.uid, r.clock_offset, r.chain_archive,
       r.chain_seq, r.chain_hash
FROM parameter_reads r JOIN pagers p ON p.id = r.pager
WHERE r.id > ?
ORDER BY r.id
LIMIT ?;
