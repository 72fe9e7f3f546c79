-- A pager's whole hours [first, last): the sums of their counts, the peak, the
-- flagged records.
SELECT COALESCE(SUM(records), 0), COALESCE(SUM(gamma_alarms), 0),
       COALESCE(SUM(neutron_alarms), 0), COALESCE(SUM(thresholds), 0), MAX(peak_dose_rate),
       COALESCE(SUM(flagged), 0)
FROM record_hours WHERE pager = ? AND hour >= ? AND hour < ?;
