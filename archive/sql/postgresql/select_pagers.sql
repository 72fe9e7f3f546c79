-- Every pager with its records, first and last record, last download and alarms.
SELECT p.serial,
       (SELECT COUNT(*) FROM records r WHERE r.pager = p.id),
       (SELECT MIN(r.time) FROM records r WHERE r.pager = p.id),
       (SELECT MAX(r.time) FROM records r WHERE r.pager = p.id),
       (SELECT MAX(d.downloaded_at) FROM downloads d WHERE d.pager = p.id),
       (SELECT COUNT(*) FROM records r WHERE r.pager = p.id
            AND get_byte(r.stored, 3) IN (65, 78))
FROM pagers p
ORDER BY p.serial;
