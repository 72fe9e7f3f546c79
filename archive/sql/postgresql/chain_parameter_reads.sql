-- The parameter reads' links of the event chain, with the values read
-- (setting=value, a line each, by setting).
SELECT r.id, r.read_at, r.chain_archive, r.chain_seq, r.chain_hash,
       p.serial, r.read_at, r.os_user, r.pc, r.uid, r.clock_offset,
       (SELECT string_agg(setting || '=' || value, E'\n' ORDER BY setting COLLATE "C")
        FROM read_values v WHERE v.read_id = r.id)
FROM parameter_reads r JOIN pagers p ON p.id = r.pager
WHERE r.id BETWEEN ? AND ?
ORDER BY r.id;
