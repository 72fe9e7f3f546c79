SELECT downloads, reads, changes FROM sync_state WHERE server = ?;
