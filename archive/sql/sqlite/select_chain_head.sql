-- The archive's id and the last link of its own chain.
SELECT (SELECT value FROM meta WHERE name = 'archive_id'),
       (SELECT value FROM meta WHERE name = 'chain_head');
