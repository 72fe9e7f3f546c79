-- The wearer events' links of the event chain.
SELECT e.id, e.entered_at, e.chain_archive, e.chain_seq, e.chain_hash,
       e.uid, e.kind, e.wearer, e.name, p.serial, e.at, e.assignment, e.entered_at, e.os_user,
       e.pc
FROM wearer_events e LEFT JOIN pagers p ON p.id = e.pager
WHERE e.id BETWEEN ? AND ?
ORDER BY e.id;
