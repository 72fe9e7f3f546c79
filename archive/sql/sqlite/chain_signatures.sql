-- The signatures' links of the event chain.
SELECT s.id, s.entered_at, s.chain_archive, s.chain_seq, s.chain_hash,
       s.uid, p.serial, s.download, s.signer, s.signed_at, s.meaning, s.note, s.entered_at,
       s.os_user, s.pc
FROM signatures s JOIN pagers p ON p.id = s.pager
WHERE s.id BETWEEN ? AND ?
ORDER BY s.id;
