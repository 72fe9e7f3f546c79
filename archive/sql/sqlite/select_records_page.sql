-- The records of a period after the last one seen, in time order.
SELECT time, stored, copy, download, flags FROM records
WHERE pager = ? AND (time, stored, copy) > (?, ?, ?) AND time < ?
ORDER BY time, stored, copy
LIMIT ?;
