SELECT id FROM pagers WHERE serial = ?;
