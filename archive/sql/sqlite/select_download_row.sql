SELECT p.serial, d.origin, d.downloaded_at, d.zone, d.outcome, d.pages, d.records,
       d.new_records, d.stored_at, d.digest, d.dump_size, d.dump, d.pc, d.overdue_since,
       d.clock_offset, d.review
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE d.id = ?;
