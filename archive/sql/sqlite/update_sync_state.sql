INSERT INTO sync_state (server, downloads, reads, changes, calibrations) VALUES (?, ?, ?, ?, ?)
ON CONFLICT (server) DO UPDATE SET downloads = excluded.downloads, reads = excluded.reads,
                                   changes = excluded.changes,
                                   calibrations = excluded.calibrations;
