-- Before the first write of a run: every page and b-tree of the file read
-- whole ("ok" alone when sound; the first few faults otherwise).
PRAGMA quick_check(5);
