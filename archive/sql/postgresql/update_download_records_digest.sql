-- A download's records digest, once, as it is stored (before it is linked).
UPDATE downloads SET records_digest = ? WHERE id = ? AND chain_hash IS NULL;
