-- Wearers, assignments and record flags.
-- Each record keeps why it looks wrong (a bit a reason, 0: it does not;
-- historyflags.h), found when its download was stored; each hour counts its
-- flagged records, so that a period's summary counts them without reading
-- the records. The flags of the records stored before are found by the
-- program as this script ends, in the same transaction, from each
-- download's dump.
ALTER TABLE records ADD COLUMN flags INTEGER NOT NULL DEFAULT 0;
ALTER TABLE record_hours ADD COLUMN flagged INTEGER NOT NULL DEFAULT 0;
-- Who wore which pager, as events only ever appended to: a wearer entered
-- (kind 'wearer': personnel number and name; a later one with the same
-- number renames), a pager given to a wearer from an instant ('give'), and
-- the return of a given pager at an instant ('return', naming the give by
-- its uid). Each has an id of its own that stays the same on every archive
-- it is copied to.
CREATE TABLE wearer_events (
    id INTEGER PRIMARY KEY,
    uid VARCHAR(36) NOT NULL UNIQUE,
    kind VARCHAR(16) NOT NULL,
    wearer VARCHAR(64) NOT NULL,
    name VARCHAR(200),
    pager INTEGER REFERENCES pagers(id),
    at BIGINT NOT NULL,
    assignment VARCHAR(36),
    entered_at BIGINT NOT NULL,
    os_user VARCHAR(64) NOT NULL,
    pc VARCHAR(64)
);
CREATE INDEX wearer_events_wearer ON wearer_events(wearer, kind);
CREATE INDEX wearer_events_pager ON wearer_events(pager, kind);
CREATE INDEX wearer_events_assignment ON wearer_events(assignment);
-- How far each server has taken this archive's rows of a kind (wearer
-- events), by id.
CREATE TABLE sync_progress (
    server VARCHAR(64) NOT NULL,
    kind VARCHAR(16) NOT NULL,
    done BIGINT NOT NULL,
    PRIMARY KEY (server, kind)
);
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
