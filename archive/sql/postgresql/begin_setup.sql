-- Setting up or upgrading: one program at a time, even on an empty database.
BEGIN;
SELECT pg_advisory_xact_lock(7326050002);
