SELECT value FROM meta WHERE name = 'archive_id';
