-- Review and sign-off of downloads.
-- Why a download is to be reviewed (a bit a reason: an alarm, a threshold
-- row or a flagged record among the records it brought first, its pager
-- overdue for calibration; 0: it is not), found when it is stored; for the
-- downloads held before, by the program as this script ends, in the same
-- transaction. Only the downloads to review are indexed.
ALTER TABLE downloads ADD COLUMN review INTEGER NOT NULL DEFAULT 0;
CREATE INDEX downloads_review ON downloads(id) WHERE review <> 0;
-- A signature of a download: who signed (signer), when, what it means
-- (accepted, remarks, rejected) with a note, entered by which OS user on
-- which PC. It names the download by its pager and dump digest, the
-- download's identity on every archive. Only ever appended to: a later
-- signature adds to the earlier. Its uid stays the same on every archive it
-- is copied to (sent by a sync as kind 'signature' of sync_progress).
CREATE TABLE signatures (
    id INTEGER PRIMARY KEY,
    uid VARCHAR(36) NOT NULL UNIQUE,
    pager INTEGER NOT NULL REFERENCES pagers(id),
    download VARCHAR(64) NOT NULL,
    signer VARCHAR(200) NOT NULL,
    signed_at BIGINT NOT NULL,
    meaning VARCHAR(16) NOT NULL,
    note VARCHAR(2000) NOT NULL,
    entered_at BIGINT NOT NULL,
    os_user VARCHAR(64) NOT NULL,
    pc VARCHAR(64)
);
CREATE INDEX signatures_download ON signatures(pager, download);
UPDATE meta SET value = '5' WHERE name = 'schema';
PRAGMA user_version = 5;
