-- The key of the record at a position of a period in time order (0: the
-- first); only the records of this program (16 stored bytes) are counted.
SELECT time, stored, copy FROM records
WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16
ORDER BY time, stored, copy
LIMIT ? OFFSET ?;
