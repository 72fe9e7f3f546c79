-- A signature of a download: appended, never changed.
INSERT INTO signatures (uid, pager, download, signer, signed_at, meaning, note, entered_at,
                        os_user, pc)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
RETURNING id;
