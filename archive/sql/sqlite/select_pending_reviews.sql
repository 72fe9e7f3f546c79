-- The downloads to review that nobody signed yet, oldest first: only the
-- downloads to review are read (their partial index), each signature found
-- by its download's pager and digest.
SELECT d.id, p.serial, COALESCE(d.downloaded_at, d.stored_at), d.review
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE d.review <> 0
  AND NOT EXISTS (SELECT 1 FROM signatures s WHERE s.pager = d.pager AND s.download = d.digest)
ORDER BY d.id;
