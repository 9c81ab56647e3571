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
-- A manager's ports by its key, and one port by its URI, as the routes and the engine view
-- below select them.
CREATE INDEX HmcNetworkPortsByManager ON HmcNetworkPorts(ManagerId, Id);
CREATE INDEX ManagerPortUri ON HmcNetworkPorts(
  '/redfish/v1/Managers/' || ManagerId || '/DedicatedNetworkPorts/' || Id);

-- The dedicated network ports as the engine builds them (EngineViews). The view lives here, as a
-- view sees only its own database; the main connection finds it by name, and runs its sub-query
-- texts there, where this database is attached. The MAC address is stored as bare hex digits
-- and read colon-separated, an array of values ("subarray"). The optional LinkConfiguration
-- is left out: its objects would need a loaded type of their own.
CREATE VIEW ManagerPortView AS
  SELECT '#Port.v1_12_0.Port' AS [@odata.type],
         '/redfish/v1/Managers/' || ManagerId || '/DedicatedNetworkPorts/' || Id AS [@odata.id],
         Id, Name, SpeedGbps AS CurrentSpeedGbps, MaxSpeedGbps,
         'select convertStringToBytes(MacHex) from HmcNetworkPorts where ManagerId = ' ||
           quote(ManagerId) || ' and Id = ' || quote(Id) AS [Ethernet#AssociatedMACAddresses],
         FlowControl AS [Ethernet#FlowControlConfiguration],
         FlowControl AS [Ethernet#FlowControlStatus], LLDPEnabled AS [Ethernet#LLDPEnabled],
         WakeOnLAN AS [Ethernet#WakeOnLANEnabled],
         'Ethernet' AS LinkNetworkTechnology, LinkState, LinkStatus, MaxFrameSize,
         'Electrical' AS PortMedium, 'UpstreamPort' AS PortType
  FROM HmcNetworkPorts;
COMMIT;
