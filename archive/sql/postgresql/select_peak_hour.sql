-- The first of a pager's whole hours [first, last) whose peak is the given one.
SELECT hour FROM record_hours
WHERE pager = ? AND hour >= ? AND hour < ? AND peak_dose_rate = ?
ORDER BY hour
LIMIT 1;
