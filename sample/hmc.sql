-- HMC database: what the management controller knows about itself. Attached to the main
-- connection as "hmcdb"; the resource views name its tables unqualified.
BEGIN;
CREATE TABLE HmcNetworkPorts (
  ManagerId TEXT, Id TEXT, Name TEXT, MacHex TEXT, SpeedGbps NUMERIC, MaxSpeedGbps NUMERIC,
  FlowControl TEXT, LLDPEnabled TEXT, WakeOnLAN TEXT, AutoNegotiation INTEGER,
  LinkState TEXT, LinkStatus TEXT, MaxFrameSize INTEGER, InterfaceName TEXT);
INSERT INTO HmcNetworkPorts VALUES
  ('BMC', '1', 'Manager Dedicated Network Port', '0050569a3c01', 0.1, 0.1, 'TX_RX', 'true',
   'false', 1, 'Enabled', 'LinkUp', 1500, 'eth0');
COMMIT;
