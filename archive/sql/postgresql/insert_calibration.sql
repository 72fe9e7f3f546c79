INSERT INTO calibrations (pager, calibrated_on, certificate, passed, note, interval_months,
                          entered_at, os_user, pc, uid)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
RETURNING id;
