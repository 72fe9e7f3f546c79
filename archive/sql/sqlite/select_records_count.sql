-- How many records of this program a period holds (those with 16 stored bytes).
SELECT COUNT(*) FROM records
WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16;
