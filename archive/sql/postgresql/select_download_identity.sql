-- A download's identity on every archive: its pager and dump digest.
SELECT d.pager, d.digest, p.serial FROM downloads d JOIN pagers p ON p.id = d.pager WHERE d.id = ?;
