-- A period's records in one pass over the time key: how many, the gamma and
-- neutron alarms and threshold exceedances among them, the peak dose rate, the flagged records.
SELECT COUNT(*),
       COALESCE(SUM(substr(stored, 4, 1) = x'41'), 0),
       COALESCE(SUM(substr(stored, 4, 1) = x'4E'), 0),
       COALESCE(SUM(substr(stored, 4, 1) = x'65'), 0),
       MAX(CASE WHEN dose_rate > 0 THEN dose_rate END),
       COALESCE(SUM(flags <> 0), 0)
FROM records WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16;
