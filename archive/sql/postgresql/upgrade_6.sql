-- Version 6: every event a link of its archive's chain (archivechain.h).
-- The server keeps each PC's links as sent; the events it held before are
-- linked by the program as this script ends, in the same transaction, as
-- the server's own chain. The same dump sent from two archives is two
-- events, so a download is kept once per chain.
ALTER TABLE downloads ADD COLUMN records_digest VARCHAR, ADD COLUMN chain_archive VARCHAR,
    ADD COLUMN chain_seq BIGINT, ADD COLUMN chain_hash VARCHAR;
ALTER TABLE parameter_reads ADD COLUMN chain_archive VARCHAR, ADD COLUMN chain_seq BIGINT,
    ADD COLUMN chain_hash VARCHAR;
ALTER TABLE setting_changes ADD COLUMN chain_archive VARCHAR, ADD COLUMN chain_seq BIGINT,
    ADD COLUMN chain_hash VARCHAR;
ALTER TABLE calibrations ADD COLUMN chain_archive VARCHAR, ADD COLUMN chain_seq BIGINT,
    ADD COLUMN chain_hash VARCHAR;
ALTER TABLE wearer_events ADD COLUMN chain_archive VARCHAR, ADD COLUMN chain_seq BIGINT,
    ADD COLUMN chain_hash VARCHAR;
ALTER TABLE signatures ADD COLUMN chain_archive VARCHAR, ADD COLUMN chain_seq BIGINT,
    ADD COLUMN chain_hash VARCHAR;
DROP INDEX downloads_digest;
CREATE UNIQUE INDEX downloads_digest ON downloads(pager, digest, chain_archive);
INSERT INTO meta (name, value) VALUES ('chain_head', '0');
UPDATE meta SET value = '6' WHERE name = 'schema';
