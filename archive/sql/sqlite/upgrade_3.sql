-- Version 3: records kept in the order they arrive and are read. A record's
-- row is found by pager and time and holds every column a page of the
-- table needs; its identity (pager, stored bytes, copy) is kept unique
-- through its minute count, taken from its first three stored bytes, so
-- that a download's rows land at the end of each tree instead of all over
-- it. A record's dose rate is a column for the period's peak (filled by the
-- program as this script ends, in the same transaction). Each download
-- counts the alarms among the records it brought first, so that a pager's
-- totals are a sum over its downloads, not a count of its records.
CREATE TABLE records_by_time (
    pager INTEGER NOT NULL,
    time BIGINT NOT NULL,
    stored BLOB NOT NULL,
    copy INTEGER NOT NULL,
    download INTEGER NOT NULL,
    minute INTEGER NOT NULL,
    dose_rate REAL,
    PRIMARY KEY (pager, time, stored, copy)
) WITHOUT ROWID;
INSERT INTO records_by_time (pager, time, stored, copy, download, minute)
SELECT pager, time, stored, copy, download,
       (instr('0123456789ABCDEF', substr(hex(stored), 1, 1)) - 1) * 16
     + (instr('0123456789ABCDEF', substr(hex(stored), 2, 1)) - 1)
     + (instr('0123456789ABCDEF', substr(hex(stored), 3, 1)) - 1) * 4096
     + (instr('0123456789ABCDEF', substr(hex(stored), 4, 1)) - 1) * 256
     + (instr('0123456789ABCDEF', substr(hex(stored), 5, 1)) - 1) * 1048576
     + (instr('0123456789ABCDEF', substr(hex(stored), 6, 1)) - 1) * 65536
FROM records
ORDER BY pager, time, stored, copy;
DROP TABLE records;
ALTER TABLE records_by_time RENAME TO records;
CREATE UNIQUE INDEX records_identity ON records(pager, minute, stored, copy);
CREATE INDEX records_download ON records(download);
ALTER TABLE downloads ADD COLUMN new_alarms INTEGER NOT NULL DEFAULT 0;
UPDATE downloads SET new_alarms = (SELECT COUNT(*) FROM records r
                                   WHERE r.download = downloads.id
                                     AND substr(r.stored, 4, 1) IN (x'41', x'4E'));
-- Each pager's records by hour (time / 3600): how many, the gamma and
-- neutron alarms and threshold rows, the peak dose rate above 0; kept as
-- records go in, so that a period's summary reads its whole hours here and
-- only its first and last part hour from the records.
CREATE TABLE record_hours (
    pager INTEGER NOT NULL,
    hour BIGINT NOT NULL,
    records INTEGER NOT NULL,
    gamma_alarms INTEGER NOT NULL,
    neutron_alarms INTEGER NOT NULL,
    thresholds INTEGER NOT NULL,
    peak_dose_rate REAL,
    PRIMARY KEY (pager, hour)
) WITHOUT ROWID;
-- A pager's totals and last download without reading the downloads' dumps.
CREATE INDEX downloads_pager ON downloads(pager, downloaded_at, new_records, new_alarms);
CREATE TABLE IF NOT EXISTS sync_refused (
    server VARCHAR(64) NOT NULL,
    kind VARCHAR(16) NOT NULL,
    item BIGINT NOT NULL,
    PRIMARY KEY (server, kind, item)
);
-- (record_hours is filled by the program after the dose rates.)
UPDATE meta SET value = '3' WHERE name = 'schema';
PRAGMA user_version = 3;
