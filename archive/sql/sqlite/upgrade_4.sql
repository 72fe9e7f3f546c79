-- Calibrations and clock offsets.
-- A calibration of a pager: its date (yyyy-MM-dd), certificate, result
-- (passed 1 / failed 0, with a note) and interval in months, who entered it
-- on which PC and when. Only ever appended to: a correction is a new
-- calibration. Its uid stays the same on every archive it is copied to.
CREATE TABLE calibrations (
    id INTEGER PRIMARY KEY,
    pager INTEGER NOT NULL REFERENCES pagers(id),
    calibrated_on VARCHAR(10) NOT NULL,
    certificate VARCHAR(64) NOT NULL,
    passed INTEGER NOT NULL,
    note VARCHAR(200) NOT NULL,
    interval_months INTEGER NOT NULL,
    entered_at BIGINT NOT NULL,
    os_user VARCHAR(64) NOT NULL,
    pc VARCHAR(64),
    uid VARCHAR(36) NOT NULL
);
CREATE UNIQUE INDEX calibrations_uid ON calibrations(uid);
CREATE INDEX calibrations_pager ON calibrations(pager, calibrated_on);
-- The calibration due date a download was made on or after (yyyy-MM-dd),
-- NULL when it was made within the pager's calibration or none was known.
ALTER TABLE downloads ADD COLUMN overdue_since VARCHAR(10);
-- The pager's clock minus the PC's, in seconds, at each contact; NULL when
-- it was not read.
ALTER TABLE downloads ADD COLUMN clock_offset BIGINT;
ALTER TABLE parameter_reads ADD COLUMN clock_offset BIGINT;
ALTER TABLE setting_changes ADD COLUMN clock_offset BIGINT;
-- The last calibration (its id here) a server has taken.
ALTER TABLE sync_state ADD COLUMN calibrations BIGINT NOT NULL DEFAULT 0;
UPDATE meta SET value = '4' WHERE name = 'schema';
PRAGMA user_version = 4;
