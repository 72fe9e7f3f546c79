-- The calibrations of a pager (its id), in the order of select_calibrations.
SELECT c.id, p.serial, c.calibrated_on, c.certificate, c.passed, c.note, c.interval_months,
       c.entered_at, c.os_user, c.pc, c.uid
FROM calibrations c JOIN pagers p ON p.id = c.pager
WHERE c.pager = ?
ORDER BY c.calibrated_on, c.entered_at, c.id;
