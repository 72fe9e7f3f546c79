-- Records after the last one seen, in key order: those whose dose rate an
-- upgrade fills in.
SELECT pager, time, stored, copy FROM records
WHERE (pager, time, stored, copy) > (?, ?, ?, ?)
ORDER BY pager, time, stored, copy
LIMIT ?;
