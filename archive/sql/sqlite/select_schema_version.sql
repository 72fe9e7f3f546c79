SELECT value FROM meta WHERE name = 'schema';
