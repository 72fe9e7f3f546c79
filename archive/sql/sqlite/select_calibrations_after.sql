-- Calibrations after the last one a server took, oldest first, at most ?.
SELECT c.id, p.serial, c.entered_at, c.calibrated_on, c.certificate, c.passed, c.note,
       c.interval_months, c.os_user, c.pc, c.uid, c.chain_archive, c.chain_seq, c.chain_hash
FROM calibrations c JOIN pagers p ON p.id = c.pager
WHERE c.id > ?
ORDER BY c.id
LIMIT ?;
