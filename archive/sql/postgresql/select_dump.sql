SELECT dump, dump_size FROM downloads WHERE id = ?;
