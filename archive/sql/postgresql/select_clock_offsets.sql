-- A pager's clock offsets (serial number given three times), oldest first:
-- time, offset, kind, and 1 where the contact set the pager's clock (its
-- offset then read back after the setting).
SELECT r.read_at, r.clock_offset, 'read', 0
FROM parameter_reads r JOIN pagers p ON p.id = r.pager
WHERE p.serial = ? AND r.clock_offset IS NOT NULL
UNION ALL
SELECT d.downloaded_at, d.clock_offset, 'download', 0
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE p.serial = ? AND d.clock_offset IS NOT NULL AND d.downloaded_at IS NOT NULL
UNION ALL
SELECT c.changed_at, c.clock_offset, 'change',
       CASE WHEN c.setting = 'device-time' AND c.outcome = 'stored' THEN 1 ELSE 0 END
FROM setting_changes c JOIN pagers p ON p.id = c.pager
WHERE p.serial = ? AND c.clock_offset IS NOT NULL
ORDER BY 1, 3;
