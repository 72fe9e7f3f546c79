SELECT v.value, r.read_at FROM read_values v JOIN parameter_reads r ON r.id = v.read_id
WHERE r.pager = ? AND v.setting = ?
ORDER BY r.read_at DESC, r.id DESC
LIMIT 1;
