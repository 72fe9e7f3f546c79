SELECT kind, item FROM sync_refused WHERE server = ? ORDER BY kind, item;
