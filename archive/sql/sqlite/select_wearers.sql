-- Every wearer under the name entered last for the personnel number.
SELECT w.wearer, w.name, w.entered_at FROM wearer_events w
WHERE w.kind = 'wearer'
  AND w.id = (SELECT x.id FROM wearer_events x WHERE x.kind = 'wearer' AND x.wearer = w.wearer
              ORDER BY x.entered_at DESC, x.id DESC LIMIT 1)
ORDER BY w.wearer;
