-- Records of one download; the program repeats the row of values for as many
-- records as it inserts at once.
INSERT INTO records (pager, stored, copy, time, download) VALUES
(?, ?, ?, ?, ?)
ON CONFLICT DO NOTHING;
