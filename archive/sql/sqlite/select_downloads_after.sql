-- The downloads after the last one a server took, oldest first.
SELECT id FROM downloads WHERE id > ? ORDER BY id;
