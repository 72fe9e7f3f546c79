-- Every pager's id.
SELECT id FROM pagers;
