DELETE FROM sync_refused WHERE server = ? AND kind = ? AND item = ?;
