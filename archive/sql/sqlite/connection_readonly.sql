-- Once per connection that only reads (the file cannot be written here).
PRAGMA cache_size = -32000;
