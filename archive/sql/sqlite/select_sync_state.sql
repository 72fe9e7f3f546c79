SELECT downloads, reads, changes, calibrations FROM sync_state WHERE server = ?;
