INSERT INTO records (pager, stored, copy, time, download) VALUES (?, ?, ?, ?, ?)
ON CONFLICT DO NOTHING;
