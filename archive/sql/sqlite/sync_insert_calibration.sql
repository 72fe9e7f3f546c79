-- A calibration of another archive merged into this one: kept once by its uid.
INSERT INTO calibrations (pager, calibrated_on, certificate, passed, note, interval_months,
                          entered_at, os_user, pc, uid, chain_archive, chain_seq, chain_hash)
VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)
ON CONFLICT (uid) DO NOTHING;
