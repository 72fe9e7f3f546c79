-- Once per connection, after the file was found to be an archive: readers
-- go on while a writer writes.
PRAGMA journal_mode = WAL;
PRAGMA foreign_keys = ON;
