-- The records a download brought first, and the alarms among them.
UPDATE downloads
SET new_records = new_records + ?,
    new_alarms = (SELECT COUNT(*) FROM records r
                  WHERE r.download = downloads.id AND substr(r.stored, 4, 1) IN (x'41', x'4E'))
WHERE id = ?;
