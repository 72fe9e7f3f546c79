-- The setting changes' links of the event chain.
SELECT c.id, c.changed_at, c.chain_archive, c.chain_seq, c.chain_hash,
       p.serial, c.changed_at, c.os_user, c.setting, c.value_before, c.value_sent, c.outcome,
       c.pc, c.uid, c.clock_offset
FROM setting_changes c JOIN pagers p ON p.id = c.pager
WHERE c.id BETWEEN ? AND ?
ORDER BY c.id;
