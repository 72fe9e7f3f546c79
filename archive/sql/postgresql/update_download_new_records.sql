UPDATE downloads SET new_records = ? WHERE id = ?;
