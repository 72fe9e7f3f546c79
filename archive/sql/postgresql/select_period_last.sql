-- The last record of a period.
SELECT time, stored FROM records
WHERE pager = ? AND time >= ? AND time < ?
ORDER BY time DESC, stored DESC, copy DESC
LIMIT 1;
