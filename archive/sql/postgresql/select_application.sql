SELECT value FROM meta WHERE name = 'application';
