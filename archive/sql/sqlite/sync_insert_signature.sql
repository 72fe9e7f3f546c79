-- A signature of another archive: kept once by its id.
INSERT INTO signatures (uid, pager, download, signer, signed_at, meaning, note, entered_at,
                        os_user, pc, chain_archive, chain_seq, chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING;
