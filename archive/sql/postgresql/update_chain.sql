-- An event's link, written once in the transaction that stores the event
-- (or the upgrade that began the chain); a row linked is never written again.
UPDATE {table} SET chain_archive = ?, chain_seq = ?, chain_hash = ?
WHERE id = ? AND chain_hash IS NULL;
