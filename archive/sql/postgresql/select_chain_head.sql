-- The archive's id and the last link of its own chain, held until the
-- transaction ends: two writers link one after the other.
SELECT (SELECT value FROM meta WHERE name = 'archive_id'), value
FROM meta WHERE name = 'chain_head'
FOR UPDATE;
