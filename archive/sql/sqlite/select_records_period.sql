-- Every record of a period in time order, its instant and stored bytes only
-- (what a plot needs: read from the keys alone where the table allows).
SELECT time, stored FROM records
WHERE pager = ? AND time >= ? AND time < ?
ORDER BY time, stored, copy;
