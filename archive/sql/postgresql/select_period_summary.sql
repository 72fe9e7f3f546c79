-- A period's records in one pass over the time key: how many, the gamma and
-- neutron alarms and threshold exceedances among them, the peak dose rate, the flagged records.
SELECT COUNT(*),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 65),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 78),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 101),
       MAX(dose_rate) FILTER (WHERE dose_rate > 0),
       COUNT(*) FILTER (WHERE flags <> 0)
FROM records WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16;
