UPDATE records SET flags = ?
WHERE pager = ? AND time = ? AND stored = ? AND copy = ? AND download = ?;
