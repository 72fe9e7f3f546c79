-- Once per connection: the program's name in the server's activity list;
-- no notices.
SET application_name = 'dr7326g';
SET client_min_messages = warning;
