-- The lab's roles, made once by the database's owner (again: nothing new).
-- Group roles without a login; a person is given one with
--   CREATE ROLE name LOGIN IN ROLE dr7326g_technicians;
-- Technicians store downloads, reads, changes, calibrations and
-- assignments (and read everything); reviewers are technicians who also
-- sign; auditors only read.
DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'dr7326g_technicians') THEN CREATE ROLE dr7326g_technicians NOLOGIN; END IF; IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'dr7326g_reviewers') THEN CREATE ROLE dr7326g_reviewers NOLOGIN; END IF; IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'dr7326g_auditors') THEN CREATE ROLE dr7326g_auditors NOLOGIN; END IF; END $$;
DO $$ BEGIN EXECUTE format('GRANT USAGE ON SCHEMA %I TO dr7326g_technicians, dr7326g_reviewers, dr7326g_auditors', current_schema()); EXECUTE format('GRANT SELECT ON ALL TABLES IN SCHEMA %I TO dr7326g_technicians, dr7326g_reviewers, dr7326g_auditors', current_schema()); EXECUTE format('GRANT USAGE ON ALL SEQUENCES IN SCHEMA %I TO dr7326g_technicians, dr7326g_reviewers', current_schema()); END $$;
GRANT INSERT, UPDATE ON pagers, downloads, records, record_hours, parameter_reads, read_values,
    setting_changes, calibrations, wearer_events TO dr7326g_technicians, dr7326g_reviewers;
GRANT INSERT ON signatures TO dr7326g_reviewers;
-- A signature stored here is linked to the server's own chain in its
-- transaction (archivechain.h): its link columns and the chain's head.
GRANT UPDATE (chain_archive, chain_seq, chain_hash) ON signatures TO dr7326g_reviewers;
GRANT UPDATE ON meta TO dr7326g_technicians, dr7326g_reviewers;
REVOKE INSERT, UPDATE, DELETE ON signatures FROM dr7326g_technicians, dr7326g_auditors;
