-- Setting changes after the last one a server took, oldest first, at most ?.
SELECT c.id, p.serial, c.changed_at, c.os_user, c.setting, c.value_before, c.value_sent,
       c.outcome, c.pc, c.uid, c.clock_offset, c.chain_archive,
       c.chain_seq, c.chain_hash
FROM setting_changes c JOIN pagers p ON p.id = c.pager
WHERE c.id > ?
ORDER BY c.id
LIMIT ?;
