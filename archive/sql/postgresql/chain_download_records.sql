-- The records a download brought, in key order, for its records digest (as
-- chain_records gives them).
SELECT download, stored, time * 16777216 + copy * 256 + flags
FROM records
WHERE download = ?
ORDER BY time, stored, copy;
