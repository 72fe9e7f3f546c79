SELECT done FROM sync_progress WHERE server = ? AND kind = ?;
