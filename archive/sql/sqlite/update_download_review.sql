-- Why the download is to be reviewed (review.h); 0: it is not.
UPDATE downloads SET review = ? WHERE id = ?;
