-- Every record in key order, for the digests of the downloads' records:
-- its download, stored bytes, and time * 2^24 + copy * 2^8 + flags.
SELECT download, stored, time * 16777216 + copy * 256 + flags
FROM records
ORDER BY pager, time, stored, copy;
