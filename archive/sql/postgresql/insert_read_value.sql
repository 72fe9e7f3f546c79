INSERT INTO read_values (read_id, setting, value) VALUES (?, ?, ?);
