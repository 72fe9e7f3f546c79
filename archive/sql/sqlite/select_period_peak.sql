-- The first record of a period with the given dose rate.
SELECT time FROM records
WHERE pager = ? AND time >= ? AND time < ? AND dose_rate = ?
ORDER BY time, stored, copy
LIMIT 1;
