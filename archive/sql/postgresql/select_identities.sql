-- The records a pager holds over a span of time, by identity.
SELECT stored, copy FROM records WHERE pager = ? AND time BETWEEN ? AND ?;
