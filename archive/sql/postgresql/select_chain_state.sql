-- The archive's id and the last link of its own chain, as they are (for
-- checking: nothing is held).
SELECT (SELECT value FROM meta WHERE name = 'archive_id'),
       (SELECT value FROM meta WHERE name = 'chain_head');
