-- Once per connection: the program's name in the server's activity list;
-- no notices.
SET application_name = 'dr7326g';
SET client_min_messages = warning;
-- A statement waits for another PC's at most two minutes, never for ever.
SET statement_timeout = '120s';
