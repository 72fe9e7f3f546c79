-- What the database holds before anything is written to it: no version here
-- (it is in meta), the number of tables, whether it is this program's archive.
SELECT CAST(NULL AS INTEGER),
       (SELECT COUNT(*) FROM pg_tables WHERE schemaname = current_schema()),
       (SELECT COUNT(*) FROM pg_tables WHERE schemaname = current_schema() AND tablename = 'meta');
