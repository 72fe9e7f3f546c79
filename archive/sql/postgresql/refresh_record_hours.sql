-- A pager's hours over a span of whole hours, counted again from its records.
INSERT INTO record_hours (pager, hour, records, gamma_alarms, neutron_alarms, thresholds,
                          peak_dose_rate, flagged)
SELECT pager, time / 3600, COUNT(*),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 65),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 78),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 101),
       MAX(dose_rate) FILTER (WHERE dose_rate > 0),
       COUNT(*) FILTER (WHERE flags <> 0)
FROM records WHERE pager = ? AND time >= ? AND time < ? AND length(stored) = 16
GROUP BY pager, time / 3600
ON CONFLICT (pager, hour) DO UPDATE SET
    records = excluded.records, gamma_alarms = excluded.gamma_alarms,
    neutron_alarms = excluded.neutron_alarms, thresholds = excluded.thresholds,
    peak_dose_rate = excluded.peak_dose_rate, flagged = excluded.flagged;
