INSERT INTO sync_refused (server, kind, item) VALUES (?, ?, ?) ON CONFLICT DO NOTHING;
