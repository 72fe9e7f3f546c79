SELECT setting, value FROM read_values WHERE read_id = ? ORDER BY setting;
