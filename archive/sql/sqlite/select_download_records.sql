-- The records a download brought first.
SELECT stored, copy, time, flags FROM records WHERE download = ?;
