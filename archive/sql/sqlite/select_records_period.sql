-- Every record of a period in time order, its instant, stored bytes and flags
-- (what a plot needs).
SELECT time, stored, flags FROM records
WHERE pager = ? AND time >= ? AND time < ?
ORDER BY time, stored, copy;
