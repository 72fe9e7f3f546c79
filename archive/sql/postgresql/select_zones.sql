SELECT d.id, d.zone, d.downloaded_at FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE p.serial = ?;
