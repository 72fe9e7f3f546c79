-- The parameter reads' links of the event chain, with the values read
-- (setting=value, a line each, by setting).
SELECT r.id, r.read_at, r.chain_archive, r.chain_seq, r.chain_hash,
       p.serial, r.read_at, r.os_user, r.pc, r.uid, r.clock_offset,
       (SELECT group_concat(setting || '=' || value, char(10))
        FROM (SELECT setting, value FROM read_values v WHERE v.read_id = r.id ORDER BY setting))
FROM parameter_reads r JOIN pagers p ON p.id = r.pager
WHERE r.id BETWEEN ? AND ?
ORDER BY r.id;
