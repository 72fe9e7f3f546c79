-- A pager's hours over a span of whole hours, counted again from its records.
INSERT OR REPLACE INTO record_hours (pager, hour, records, gamma_alarms, neutron_alarms,
                                     thresholds, peak_dose_rate, flagged)
SELECT pager, time / 3600, COUNT(*),
       SUM(substr(stored, 4, 1) = x'41'),
       SUM(substr(stored, 4, 1) = x'4E'),
       SUM(substr(stored, 4, 1) = x'65'),
       MAX(CASE WHEN dose_rate > 0 THEN dose_rate END), SUM(flags <> 0)
FROM records WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16
GROUP BY pager, time / 3600;
