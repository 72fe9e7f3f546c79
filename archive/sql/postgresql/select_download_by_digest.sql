SELECT id FROM downloads WHERE pager = ? AND digest = ?;
