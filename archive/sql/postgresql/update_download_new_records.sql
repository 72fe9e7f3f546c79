-- The records a download brought first, and the alarms among them.
UPDATE downloads
SET new_records = new_records + ?,
    new_alarms = (SELECT COUNT(*) FROM records r
                  WHERE r.download = downloads.id AND get_byte(r.stored, 3) IN (65, 78)
                    AND length(r.stored) = 16)
WHERE id = ?;
