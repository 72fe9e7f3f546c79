-- Records of one download, in time order; the program repeats the row of
-- values for as many records as it inserts at once. A record held already
-- is passed over: OR IGNORE rather than an upsert, so that no row can end
-- the statement half done and SQLite keeps no statement journal for it.
INSERT OR IGNORE INTO records (pager, time, stored, copy, download, minute, dose_rate, flags) VALUES
(?, ?, ?, ?, ?, ?, ?, ?);
