-- Every pager with its records, first and last record, last download and
-- alarms: sums over its downloads (each counts the records it brought
-- first) and the ends of its records' time key, not a count of its records.
SELECT p.serial,
       (SELECT COALESCE(SUM(d.new_records), 0) FROM downloads d WHERE d.pager = p.id),
       (SELECT MIN(r.time) FROM records r WHERE r.pager = p.id),
       (SELECT MAX(r.time) FROM records r WHERE r.pager = p.id),
       (SELECT MAX(d.downloaded_at) FROM downloads d WHERE d.pager = p.id),
       (SELECT COALESCE(SUM(d.new_alarms), 0) FROM downloads d WHERE d.pager = p.id)
FROM pagers p
ORDER BY p.serial;
