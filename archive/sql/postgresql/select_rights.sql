-- What the server lets this user do: store downloads (and the other
-- events), sign.
SELECT has_table_privilege(current_user, 'downloads', 'INSERT')
       AND has_table_privilege(current_user, 'records', 'INSERT'),
       has_table_privilege(current_user, 'signatures', 'INSERT');
