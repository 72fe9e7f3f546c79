-- Records of one download, in time order; the program repeats the row of
-- values for as many records as it inserts at once.
INSERT INTO records (pager, time, stored, copy, download, minute, dose_rate, flags) VALUES
(?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT DO NOTHING;
