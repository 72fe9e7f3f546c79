-- The last link of the archive's own chain: "seq hash".
UPDATE meta SET value = ? WHERE name = 'chain_head';
