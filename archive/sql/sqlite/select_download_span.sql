-- The first and last instant of the records a download brought first.
SELECT MIN(time), MAX(time) FROM records WHERE download = ?;
