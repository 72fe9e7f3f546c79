-- Events kept before the PC was named take this PC's name (as a sync would).
UPDATE {table} SET pc = ? WHERE pc IS NULL;
