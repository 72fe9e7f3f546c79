-- Version 6: a trail nobody can quietly edit. Every event (download,
-- parameter read, setting change, calibration, wearer event, signature) is a link of
-- its archive's chain (archivechain.h): the archive it was first stored in,
-- its place there (1, 2, ...) and the SHA-256 over its content and the
-- link before it. A download also keeps the digest of the records it
-- brought. The chain of the events kept before is made by the program as
-- this script ends, in the same transaction. The same dump stored in two
-- archives is two events, so a download is kept once per chain.
ALTER TABLE downloads ADD COLUMN records_digest VARCHAR(64);
ALTER TABLE downloads ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE downloads ADD COLUMN chain_seq BIGINT;
ALTER TABLE downloads ADD COLUMN chain_hash VARCHAR(64);
ALTER TABLE parameter_reads ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE parameter_reads ADD COLUMN chain_seq BIGINT;
ALTER TABLE parameter_reads ADD COLUMN chain_hash VARCHAR(64);
ALTER TABLE setting_changes ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE setting_changes ADD COLUMN chain_seq BIGINT;
ALTER TABLE setting_changes ADD COLUMN chain_hash VARCHAR(64);
ALTER TABLE calibrations ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE calibrations ADD COLUMN chain_seq BIGINT;
ALTER TABLE calibrations ADD COLUMN chain_hash VARCHAR(64);
ALTER TABLE wearer_events ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE wearer_events ADD COLUMN chain_seq BIGINT;
ALTER TABLE wearer_events ADD COLUMN chain_hash VARCHAR(64);
ALTER TABLE signatures ADD COLUMN chain_archive VARCHAR(36);
ALTER TABLE signatures ADD COLUMN chain_seq BIGINT;
ALTER TABLE signatures ADD COLUMN chain_hash VARCHAR(64);
DROP INDEX downloads_digest;
CREATE UNIQUE INDEX downloads_digest ON downloads(pager, digest, chain_archive);
-- The last link of this archive's own chain: "seq hash" ("0": none yet).
INSERT INTO meta (name, value) VALUES ('chain_head', '0');
UPDATE meta SET value = '6' WHERE name = 'schema';
PRAGMA user_version = 6;
