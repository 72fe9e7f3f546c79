-- What a server refused of this PC's archive (a download, a parameter read
-- or a setting change, by its id here): the sync goes on past it, and each
-- sync offers it again until the server takes it. Made by the first sync
-- that needs it, so that an archive stays readable by the program's earlier
-- versions.
CREATE TABLE IF NOT EXISTS sync_refused (
    server VARCHAR(64) NOT NULL,
    kind VARCHAR(16) NOT NULL,
    item BIGINT NOT NULL,
    PRIMARY KEY (server, kind, item)
);
