-- The key of the record at a position of a period counted back from its end
-- (0: the last), so that its last pages are found without stepping over the rest.
SELECT time, stored, copy FROM records
WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16
ORDER BY time DESC, stored DESC, copy DESC
LIMIT ? OFFSET ?;
