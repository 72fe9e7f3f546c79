-- Reads and changes of one pager (or of all when the serial is empty), oldest first.
SELECT at, os_user, pc, serial, setting, value_before, value, outcome FROM (
    SELECT c.changed_at AS at, 1 AS kind, c.id AS id, c.os_user AS os_user, c.pc AS pc,
           p.serial AS serial,
           c.setting AS setting, c.value_before AS value_before, c.value_sent AS value,
           c.outcome AS outcome
    FROM setting_changes c JOIN pagers p ON p.id = c.pager
    UNION ALL
    SELECT r.read_at, 0, r.id, r.os_user, r.pc, p.serial, v.setting, NULL, v.value, 'read'
    FROM parameter_reads r JOIN read_values v ON v.read_id = r.id
         JOIN pagers p ON p.id = r.pager
) log
WHERE ? = '' OR serial = ?
ORDER BY at, kind, id, setting;
