-- Signatures after the last one a server took, oldest first, at most ?.
SELECT s.id, p.serial, s.signed_at, s.uid, s.download, s.signer, s.meaning, s.note,
       s.entered_at, s.os_user, s.pc, s.chain_archive, s.chain_seq, s.chain_hash
FROM signatures s JOIN pagers p ON p.id = s.pager
WHERE s.id > ?
ORDER BY s.id
LIMIT ?;
