INSERT INTO sync_progress (server, kind, done) VALUES (?, ?, ?)
ON CONFLICT (server, kind) DO UPDATE SET done = excluded.done;
