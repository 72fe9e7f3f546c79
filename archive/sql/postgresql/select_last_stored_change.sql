SELECT value_sent, changed_at FROM setting_changes
WHERE pager = ? AND setting = ? AND outcome = 'stored'
ORDER BY changed_at DESC, id DESC
LIMIT 1;
