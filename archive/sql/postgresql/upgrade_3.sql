-- Version 3: records found by pager and time with every column a page needs,
-- their identity kept unique through their minute count (so that rows
-- arrive at the end of each index), their dose rate a column for a period's
-- peak (decoded here as the program decodes it: a device float is the IEEE
-- single's bits with the exponent byte one higher, bit 23 ignored; NULL when
-- it is no finite number); each download counts the alarms it brought first.
CREATE FUNCTION pg_temp.device_float(w BIGINT) RETURNS DOUBLE PRECISION LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN e = 255 THEN NULL WHEN e = 0 THEN m * power(2::float8, -149) ELSE (m + 8388608) * power(2::float8, e - 150) END FROM (SELECT (u >> 23) AS e, u & 8388607 AS m FROM (SELECT ((((w - 16777216) & 4294967295) >> 1) & 2139095040) | (w & 8388607) AS u) bits) parts $$;
ALTER TABLE records ADD COLUMN minute INTEGER, ADD COLUMN dose_rate DOUBLE PRECISION;
UPDATE records SET
    minute = CASE WHEN length(stored) >= 3
                  THEN get_byte(stored, 0) + get_byte(stored, 1) * 256 + get_byte(stored, 2) * 65536
                  ELSE 0 END,
    dose_rate = CASE WHEN length(stored) = 16
                     THEN pg_temp.device_float((get_byte(stored, 9)::bigint << 24)
                                               | (get_byte(stored, 8)::bigint << 16)
                                               | (get_byte(stored, 11)::bigint << 8)
                                               | get_byte(stored, 10)::bigint) END;
ALTER TABLE records ALTER COLUMN minute SET NOT NULL;
ALTER TABLE records DROP CONSTRAINT records_pkey;
DROP INDEX records_time;
ALTER TABLE records ADD PRIMARY KEY (pager, time, stored, copy) INCLUDE (download, dose_rate);
CREATE UNIQUE INDEX records_identity ON records(pager, minute, stored, copy);
ALTER TABLE downloads ADD COLUMN new_alarms INTEGER NOT NULL DEFAULT 0;
UPDATE downloads SET new_alarms = (SELECT COUNT(*) FROM records r
                                   WHERE r.download = downloads.id
                                     AND length(r.stored) = 16
                                     AND get_byte(r.stored, 3) IN (65, 78));
CREATE INDEX downloads_pager ON downloads(pager, downloaded_at) INCLUDE (new_records, new_alarms);
-- Each pager's records by hour (time / 3600): how many, the gamma and
-- neutron alarms and threshold rows, the peak dose rate above 0; kept as
-- records go in, so that a period's summary reads its whole hours here and
-- only its first and last part hour from the records.
CREATE TABLE record_hours (
    pager BIGINT NOT NULL,
    hour BIGINT NOT NULL,
    records INTEGER NOT NULL,
    gamma_alarms INTEGER NOT NULL,
    neutron_alarms INTEGER NOT NULL,
    thresholds INTEGER NOT NULL,
    peak_dose_rate DOUBLE PRECISION,
    PRIMARY KEY (pager, hour)
);
INSERT INTO record_hours
SELECT pager, time / 3600, COUNT(*),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 65),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 78),
       COUNT(*) FILTER (WHERE get_byte(stored, 3) = 101),
       MAX(dose_rate) FILTER (WHERE dose_rate > 0)
FROM records WHERE length(stored) = 16
GROUP BY pager, time / 3600;
UPDATE meta SET value = '3' WHERE name = 'schema';
