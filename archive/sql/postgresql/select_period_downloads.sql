-- The downloads that brought a pager's records of [from, to).
SELECT d.id, p.serial, COALESCE(d.downloaded_at, d.stored_at), d.review
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE d.id IN (SELECT r.download FROM records r WHERE r.pager = ? AND r.time >= ? AND r.time < ?)
ORDER BY d.id;
