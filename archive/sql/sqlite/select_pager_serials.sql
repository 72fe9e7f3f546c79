SELECT serial FROM pagers ORDER BY serial;
