-- Version 2: the lab's server. Each download, read and change names the PC
-- (host name) that made it; each read and change has an id of its own that
-- stays the same on every archive it is copied to; the archive has an id of
-- its own, and remembers per server how far it was synchronised.
ALTER TABLE downloads ADD COLUMN pc VARCHAR(64);
ALTER TABLE parameter_reads ADD COLUMN pc VARCHAR(64);
ALTER TABLE parameter_reads ADD COLUMN uid VARCHAR(36);
UPDATE parameter_reads SET uid = lower(hex(randomblob(16)));
CREATE UNIQUE INDEX parameter_reads_uid ON parameter_reads(uid);
ALTER TABLE setting_changes ADD COLUMN pc VARCHAR(64);
ALTER TABLE setting_changes ADD COLUMN uid VARCHAR(36);
UPDATE setting_changes SET uid = lower(hex(randomblob(16)));
CREATE UNIQUE INDEX setting_changes_uid ON setting_changes(uid);
CREATE INDEX records_download ON records(download);
-- The last download, read and change (their ids here) a server has taken.
CREATE TABLE sync_state (
    server VARCHAR(64) PRIMARY KEY,
    downloads BIGINT NOT NULL,
    reads BIGINT NOT NULL,
    changes BIGINT NOT NULL
);
INSERT INTO meta (name, value) VALUES ('archive_id', lower(hex(randomblob(16))));
UPDATE meta SET value = '2' WHERE name = 'schema';
PRAGMA user_version = 2;
