-- The downloads' links of the event chain (archivechain.h): id, time,
-- chain columns, then the content hashed. Left out: new_records and
-- new_alarms, totals a sync adds to when another PC's copy brought records
-- first (bookkeeping, not the event).
SELECT d.id, d.stored_at, d.chain_archive, d.chain_seq, d.chain_hash,
       p.serial, d.origin, d.downloaded_at, d.zone, d.outcome, d.pages, d.records, d.stored_at,
       d.digest, d.dump_size, d.dump, d.pc, d.overdue_since, d.clock_offset, d.records_digest
FROM downloads d JOIN pagers p ON p.id = d.pager
WHERE d.id BETWEEN ? AND ?
ORDER BY d.id;
