-- When each pager was last read: its parameters, or a download.
SELECT p.serial,
       GREATEST(COALESCE((SELECT MAX(r.read_at) FROM parameter_reads r WHERE r.pager = p.id), 0),
                COALESCE((SELECT MAX(d.downloaded_at) FROM downloads d
                          WHERE d.pager = p.id AND d.origin = 'download'), 0))
FROM pagers p;
