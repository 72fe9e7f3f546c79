-- The records a download brought first.
SELECT stored, copy, time FROM records WHERE download = ?;
