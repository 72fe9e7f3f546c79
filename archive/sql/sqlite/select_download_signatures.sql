-- The signatures of a download (by its pager and digest), the earliest first.
SELECT uid, signer, signed_at, meaning, note, pc FROM signatures
WHERE pager = ? AND download = ?
ORDER BY signed_at, id;
