-- What the file holds before anything is written to it: the schema version,
-- the number of tables, whether it is this program's archive.
SELECT (SELECT user_version FROM pragma_user_version),
       (SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'),
       (SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'meta');
