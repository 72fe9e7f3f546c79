-- Wearer events after the last one a server took, oldest first, at most ?.
SELECT e.id, p.serial, e.entered_at, e.uid, e.kind, e.wearer, e.name, e.at, e.assignment,
       e.os_user, e.pc, e.chain_archive, e.chain_seq, e.chain_hash
FROM wearer_events e LEFT JOIN pagers p ON p.id = e.pager
WHERE e.id > ?
ORDER BY e.id
LIMIT ?;
