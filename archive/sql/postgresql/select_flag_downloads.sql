-- Every download with its pager, oldest first: the flags of the records it
-- brought first are found again from its dump.
SELECT d.id, d.pager, p.serial FROM downloads d JOIN pagers p ON p.id = d.pager ORDER BY d.id;
