-- What decides each download's review: whether it was made overdue, and the
-- alarms, threshold rows and flagged records among the records it brought
-- first (one pass over the records).
SELECT d.id, d.overdue_since IS NOT NULL, COALESCE(f.alarms, 0), COALESCE(f.thresholds, 0),
       COALESCE(f.flagged, 0)
FROM downloads d LEFT JOIN (
    SELECT download,
           COUNT(*) FILTER (WHERE length(stored) = 16 AND get_byte(stored, 3) IN (65, 78)) AS alarms,
           COUNT(*) FILTER (WHERE length(stored) = 16 AND get_byte(stored, 3) = 101) AS thresholds,
           COUNT(*) FILTER (WHERE flags <> 0) AS flagged
    FROM records GROUP BY download) f ON f.download = d.id
ORDER BY d.id;
