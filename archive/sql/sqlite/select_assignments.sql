-- Every pager given, with its first return (NULL while worn), by pager and time.
SELECT g.uid, g.wearer, p.serial, g.at,
       (SELECT MIN(r.at) FROM wearer_events r WHERE r.kind = 'return' AND r.assignment = g.uid),
       g.entered_at, g.os_user, g.pc
FROM wearer_events g JOIN pagers p ON p.id = g.pager
WHERE g.kind = 'give'
ORDER BY p.serial, g.at, g.id;
