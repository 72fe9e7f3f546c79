-- A new archive, built in one transaction. Times are POSIX seconds (UTC).
-- The raw replies of each download (its dump, compressed) are the source of
-- truth; the records are derived rows that a decoder fix can rebuild.
CREATE TABLE meta (
    name VARCHAR(32) PRIMARY KEY,
    value VARCHAR(200) NOT NULL
);
CREATE TABLE pagers (
    id INTEGER PRIMARY KEY,
    serial VARCHAR(32) NOT NULL UNIQUE
);
-- One download from a pager, or one dump imported.
CREATE TABLE downloads (
    id INTEGER PRIMARY KEY,
    pager INTEGER NOT NULL REFERENCES pagers(id),
    origin VARCHAR(16) NOT NULL,
    downloaded_at BIGINT,
    zone VARCHAR(64) NOT NULL,
    outcome VARCHAR(16) NOT NULL,
    pages INTEGER NOT NULL,
    records INTEGER NOT NULL,
    new_records INTEGER NOT NULL,
    stored_at BIGINT NOT NULL,
    digest VARCHAR(64) NOT NULL,
    dump_size INTEGER NOT NULL,
    dump BLOB NOT NULL
);
CREATE UNIQUE INDEX downloads_digest ON downloads(pager, digest);
-- A record is its pager and its 16 stored bytes; copy counts the times a
-- download held the same bytes (1, 2, ...).
CREATE TABLE records (
    pager INTEGER NOT NULL,
    stored BLOB NOT NULL,
    copy INTEGER NOT NULL,
    time BIGINT NOT NULL,
    download INTEGER NOT NULL,
    PRIMARY KEY (pager, stored, copy)
) WITHOUT ROWID;
CREATE INDEX records_time ON records(pager, time);
-- Every parameter read: one row per read, one value per setting answered.
CREATE TABLE parameter_reads (
    id INTEGER PRIMARY KEY,
    pager INTEGER NOT NULL REFERENCES pagers(id),
    read_at BIGINT NOT NULL,
    os_user VARCHAR(64) NOT NULL
);
CREATE TABLE read_values (
    read_id INTEGER NOT NULL REFERENCES parameter_reads(id),
    setting VARCHAR(32) NOT NULL,
    value VARCHAR(64) NOT NULL,
    PRIMARY KEY (read_id, setting)
);
-- Every change sent to a pager, whatever came of it. Only ever appended to.
CREATE TABLE setting_changes (
    id INTEGER PRIMARY KEY,
    pager INTEGER NOT NULL REFERENCES pagers(id),
    changed_at BIGINT NOT NULL,
    os_user VARCHAR(64) NOT NULL,
    setting VARCHAR(32) NOT NULL,
    value_before VARCHAR(64),
    value_sent VARCHAR(64) NOT NULL,
    outcome VARCHAR(16) NOT NULL
);
CREATE INDEX setting_changes_pager ON setting_changes(pager, setting, changed_at);
INSERT INTO meta (name, value) VALUES ('application', 'DR7326G-05A archive');
INSERT INTO meta (name, value) VALUES ('schema', '1');
PRAGMA user_version = 1;
