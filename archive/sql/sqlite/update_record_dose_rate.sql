UPDATE records SET dose_rate = ? WHERE pager = ? AND time = ? AND stored = ? AND copy = ?;
