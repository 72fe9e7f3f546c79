SELECT p.serial, d.origin, d.downloaded_at, d.zone, d.outcome, d.pages, d.records,
       d.new_records, d.stored_at, d.digest, d.dump_size, d.dump, d.pc, d.overdue_since,
       d.clock_offset, d.review, d.records_digest, d.chain_archive, d.chain_seq, d.chain_hash
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE d.id = ?;
