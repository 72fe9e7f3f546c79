-- The calibrations' links of the event chain.
SELECT c.id, c.entered_at, c.chain_archive, c.chain_seq, c.chain_hash,
       p.serial, c.calibrated_on, c.certificate, c.passed, c.note, c.interval_months,
       c.entered_at, c.os_user, c.pc, c.uid
FROM calibrations c JOIN pagers p ON p.id = c.pager
WHERE c.id BETWEEN ? AND ?
ORDER BY c.id;
