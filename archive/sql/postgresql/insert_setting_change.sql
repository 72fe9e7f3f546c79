INSERT INTO setting_changes (pager, changed_at, os_user, setting, value_before, value_sent,
                             outcome, pc, uid, clock_offset)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
RETURNING id;
