-- Every calibration of one pager (serial number given twice), or of all
-- (an empty serial number), oldest first within each pager: by date, then
-- by when it was entered, then by its row (one PC's are sent in their order).
SELECT c.id, p.serial, c.calibrated_on, c.certificate, c.passed, c.note, c.interval_months,
       c.entered_at, c.os_user, c.pc, c.uid
FROM calibrations c JOIN pagers p ON p.id = c.pager
WHERE ? = '' OR p.serial = ?
ORDER BY p.serial, c.calibrated_on, c.entered_at, c.id;
