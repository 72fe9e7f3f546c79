-- Once per connection, after the file was found to be an archive: readers
-- go on while a writer writes; a download's pages stay in memory until its
-- transaction ends.
PRAGMA journal_mode = WAL;
PRAGMA foreign_keys = ON;
PRAGMA cache_size = -32000;
