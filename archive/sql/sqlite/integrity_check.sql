-- Before the first write of an import: every page, every row and every index
-- entry checked against each other ("ok" alone when sound; the first few
-- faults otherwise).
PRAGMA integrity_check(5);
