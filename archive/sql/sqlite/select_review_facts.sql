-- What decides each download's review: whether it was made overdue, and the
-- alarms, threshold rows and flagged records among the records it brought
-- first (one pass over the records).
SELECT d.id, d.overdue_since IS NOT NULL, COALESCE(f.alarms, 0), COALESCE(f.thresholds, 0),
       COALESCE(f.flagged, 0)
FROM downloads d LEFT JOIN (
    SELECT download,
           SUM(substr(stored, 4, 1) IN (x'41', x'4E')) AS alarms,
           SUM(substr(stored, 4, 1) = x'65') AS thresholds,
           SUM(flags <> 0) AS flagged
    FROM records GROUP BY download) f ON f.download = d.id
ORDER BY d.id;
