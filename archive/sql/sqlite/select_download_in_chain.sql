-- A download of a chain by its dump's digest (a sync sent it before).
SELECT id FROM downloads WHERE pager = ? AND digest = ? AND chain_archive = ?;
