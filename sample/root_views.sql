-- Views that serve URI requests (see UriInfo in resource_info.sql): each has the column root,
-- the whole resource as JSON text built with SQLite's JSON functions and the converter's SQL
-- functions, and the column "@odata.id" that the request's URI is compared with. They live in
-- the live-object database because a view only sees the tables of its own database. As in
-- live_objects.sql, a view that selects one resource by its "@odata.id" has an index on that
-- expression over its table, next to it.
BEGIN;
CREATE VIEW BootOptionRoot AS
  SELECT '/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id AS [@odata.id],
         json_object(
           '@odata.type', '#BootOption.v1_0_6.BootOption',
           '@odata.id', '/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id,
           'Id', Id, 'Name', 'Boot Option', 'Description', Description,
           'BootOptionReference', Reference, 'DisplayName', DisplayName,
           'UefiDevicePath', DevicePath, 'Alias', Alias,
           'BootOptionEnabled', json_bool(Enabled),
           'RelatedItem', json((SELECT json_group_array(json_object('@odata.id', Target))
                                FROM (SELECT Target FROM ResourceLinks
                                      WHERE Kind = 'RelatedItem' AND Owner =
                                        '/redfish/v1/Systems/' || b.SystemId || '/BootOptions/' || b.Id
                                      ORDER BY Ord)))) AS root
  FROM BootOptions b;

-- The entity tag changes whenever the inventory is collected again.
CREATE VIEW PCIeDeviceRoot AS
  SELECT '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id AS [@odata.id],
         json_object(
           '@odata.type', '#PCIeDevice.v1_14_0.PCIeDevice',
           '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id,
           '@odata.etag', 'W/"' || LastSystemInventoryTime() || '"',
           'Id', Id, 'Name', Name, 'Description', Description, 'AssetTag', AssetTag,
           'Manufacturer', Manufacturer, 'Model', Model, 'SKU', SKU,
           'SerialNumber', SerialNumber, 'PartNumber', PartNumber, 'DeviceType', DeviceType,
           'FirmwareVersion', FirmwareVersion, 'ReadyToRemove', json_bool(ReadyToRemove),
           'Status', json_object('State', State, 'Health', Health, 'HealthRollup', HealthRollup),
           'PCIeInterface', json_object('PCIeType', PCIeType, 'MaxPCIeType', MaxPCIeType,
                                        'LanesInUse', LanesInUse, 'MaxLanes', MaxLanes),
           'PCIeFunctions', json_object('@odata.id', '/redfish/v1/Chassis/' || ChassisId ||
                                        '/PCIeDevices/' || Id || '/PCIeFunctions'),
           'Links', json_object('Chassis', json_array(json_object(
                                  '@odata.id', '/redfish/v1/Chassis/' || ChassisId)))) AS root
  FROM PCIeDevices;

-- A compact view of the chassis cooling, with the heater manager's state under Oem.
CREATE VIEW ThermalRoot AS
  SELECT '/redfish/v1/Chassis/' || Id || '/Thermal' AS [@odata.id],
         json_object(
           '@odata.type', '#Thermal.v1_7_3.Thermal',
           '@odata.id', '/redfish/v1/Chassis/' || Id || '/Thermal',
           'Id', 'Thermal', 'Name', 'Thermal',
           'Temperatures', json((SELECT json_group_array(json_object(
               '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Temperatures/' || MemberId,
               'MemberId', MemberId, 'Name', Name,
               'ReadingCelsius', nullif(ReadingCelsius, -1),
               'Status', json_object('State', State, 'Health', Health)))
             FROM (SELECT * FROM TemperatureSensors t WHERE t.ChassisId = c.Id ORDER BY MemberId))),
           'Fans', json((SELECT json_group_array(json_object(
               '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Fans/' || MemberId,
               'MemberId', MemberId, 'Name', Name, 'Reading', nullif(Reading, -1),
               'ReadingUnits', ReadingUnits,
               'Status', json_object('State', State, 'Health', Health)))
             FROM (SELECT * FROM FanSensors f WHERE f.ChassisId = c.Id ORDER BY MemberId))),
           'Oem', json_object('Vexa', json_object(
               'ReadingTime', GetISODateTime(),
               'HeaterManager', json_object(
                 'PreHeatDurationSeconds', GetHeaterMgrValues(1),
                 'CumulativeHeatDurationSeconds', GetHeaterMgrValues(2),
                 'Health', GetHeaterMgrValues(3))))) AS root
  FROM Chassis c;

-- ---- The resources a client walks from the service root ----------------------------------
-- ProtocolFeaturesSupported says what `sql2json serve` answers: $expand (all four forms, up to
-- 6 levels), $select, $top and $skip; ServiceRoot.v1_17_0 is the first version with TopSkipQuery.
CREATE VIEW ServiceRootRoot AS
  SELECT '/redfish/v1' AS [@odata.id],
         json_object(
           '@odata.type', '#ServiceRoot.v1_17_0.ServiceRoot', '@odata.id', '/redfish/v1/',
           'Id', Id, 'Name', Name, 'RedfishVersion', RedfishVersion, 'UUID', UUID,
           'Product', Product, 'Vendor', Vendor,
           'ProtocolFeaturesSupported', json_object(
             'ExcerptQuery', json('false'), 'FilterQuery', json('false'),
             'OnlyMemberQuery', json('false'), 'SelectQuery', json('true'),
             'TopSkipQuery', json('true'), 'MultipleHTTPRequests', json('true'),
             'DeepOperations', json_object('DeepPATCH', json('false'), 'DeepPOST', json('false')),
             'ExpandQuery', json_object('ExpandAll', json('true'), 'Levels', json('true'),
                                        'Links', json('true'), 'NoLinks', json('true'),
                                        'MaxLevels', 6)),
           'Systems', json_object('@odata.id', '/redfish/v1/Systems'),
           'Chassis', json_object('@odata.id', '/redfish/v1/Chassis'),
           'Managers', json_object('@odata.id', '/redfish/v1/Managers'),
           'Fabrics', json_object('@odata.id', '/redfish/v1/Fabrics'),
           'Links', json_object(
             'Sessions', json_object('@odata.id', '/redfish/v1/SessionService/Sessions'))) AS root
  FROM ServiceRoot;

-- The sample service has no accounts and keeps no sessions.
CREATE VIEW SessionCollectionRoot AS
  SELECT '/redfish/v1/SessionService/Sessions' AS [@odata.id],
         json_object(
           '@odata.type', '#SessionCollection.SessionCollection',
           '@odata.id', '/redfish/v1/SessionService/Sessions', 'Name', 'Session Collection',
           'Members', json_array(), 'Members@odata.count', 0) AS root;

CREATE VIEW ChassisCollectionRoot AS
  SELECT '/redfish/v1/Chassis' AS [@odata.id],
         json_object(
           '@odata.type', '#ChassisCollection.ChassisCollection',
           '@odata.id', '/redfish/v1/Chassis', 'Name', 'Chassis Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Chassis/' || Id))
                            FROM (SELECT Id FROM ChassisInventory ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM ChassisInventory)) AS root;

CREATE VIEW ChassisRoot AS
  SELECT '/redfish/v1/Chassis/' || i.Id AS [@odata.id],
         json_object(
           '@odata.type', '#Chassis.v1_15_7.Chassis', '@odata.id', '/redfish/v1/Chassis/' || i.Id,
           'Id', i.Id, 'Name', i.Name, 'ChassisType', i.ChassisType,
           'Manufacturer', i.Manufacturer, 'Model', i.Model, 'SKU', i.SKU,
           'SerialNumber', i.SerialNumber, 'PartNumber', i.PartNumber, 'AssetTag', i.AssetTag,
           'PowerState', i.PowerState, 'IndicatorLED', i.IndicatorLED,
           'Status', json_object('State', i.State, 'Health', i.Health),
           'Power', json_object('@odata.id', '/redfish/v1/Chassis/' || i.Id || '/Power'),
           'Thermal', json_object('@odata.id', '/redfish/v1/Chassis/' || i.Id || '/Thermal'),
           'PowerSubsystem', json_object('@odata.id', '/redfish/v1/Chassis/' || i.Id || '/PowerSubsystem'),
           'PCIeDevices', json_object('@odata.id', '/redfish/v1/Chassis/' || i.Id || '/PCIeDevices'),
           'Sensors', json_object('@odata.id', '/redfish/v1/Chassis/' || i.Id || '/Sensors'),
           'Links', json_object(
             'ComputerSystems', json_array(json_object('@odata.id', '/redfish/v1/Systems/' || c.SystemId)),
             'ManagedBy', json_array(json_object('@odata.id', '/redfish/v1/Managers/' || i.ManagerId)))) AS root
  FROM ChassisInventory i JOIN Chassis c ON c.Id = i.Id;
CREATE INDEX ChassisUri ON ChassisInventory('/redfish/v1/Chassis/' || Id);

CREATE VIEW PowerSubsystemRoot AS
  SELECT '/redfish/v1/Chassis/' || Id || '/PowerSubsystem' AS [@odata.id],
         json_object(
           '@odata.type', '#PowerSubsystem.v1_1_0.PowerSubsystem',
           '@odata.id', '/redfish/v1/Chassis/' || Id || '/PowerSubsystem',
           'Id', 'PowerSubsystem', 'Name', 'Power Subsystem for Chassis',
           'PowerSupplies', json_object('@odata.id', '/redfish/v1/Chassis/' || Id || '/PowerSubsystem/PowerSupplies')) AS root
  FROM Chassis;
CREATE INDEX PowerSubsystemUri ON Chassis('/redfish/v1/Chassis/' || Id || '/PowerSubsystem');

-- Power supply bays are numbered from 1; the Power resource's members from 0.
CREATE VIEW PowerSupplyBays AS
  SELECT ChassisId, MemberId, 'Bay' || (CAST(MemberId AS INTEGER) + 1) AS BayId,
         '/redfish/v1/Chassis/' || ChassisId || '/PowerSubsystem/PowerSupplies/Bay' ||
           (CAST(MemberId AS INTEGER) + 1) AS Uri
  FROM PowerSupplyUnits;

CREATE VIEW PowerSupplyCollectionRoot AS
  SELECT '/redfish/v1/Chassis/' || c.Id || '/PowerSubsystem/PowerSupplies' AS [@odata.id],
         json_object(
           '@odata.type', '#PowerSupplyCollection.PowerSupplyCollection',
           '@odata.id', '/redfish/v1/Chassis/' || c.Id || '/PowerSubsystem/PowerSupplies',
           'Name', 'Power Supply Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', Uri))
                            FROM (SELECT Uri FROM PowerSupplyBays b WHERE b.ChassisId = c.Id ORDER BY Uri))),
           'Members@odata.count', (SELECT count(*) FROM PowerSupplyBays b WHERE b.ChassisId = c.Id)) AS root
  FROM Chassis c;
CREATE INDEX PowerSupplyCollectionUri ON Chassis(
  '/redfish/v1/Chassis/' || Id || '/PowerSubsystem/PowerSupplies');

CREATE VIEW PowerSupplyRoot AS
  SELECT b.Uri AS [@odata.id],
         json_object(
           '@odata.type', '#PowerSupply.v1_5_0.PowerSupply', '@odata.id', b.Uri,
           'Id', b.BayId, 'Name', u.Name, 'Model', u.Model, 'Manufacturer', u.Manufacturer,
           'SerialNumber', u.SerialNumber, 'PartNumber', u.PartNumber,
           'FirmwareVersion', u.FirmwareVersion, 'PowerCapacityWatts', u.CapacityW,
           'Status', json_object('State', u.State, 'Health', u.Health),
           'Assembly', json((SELECT json_object('@odata.id', a.Uri) FROM Assemblies a
                             WHERE a.Uri = b.Uri || '/Assembly'))) AS root
  FROM PowerSupplyBays b JOIN PowerSupplyUnits u
    ON u.ChassisId = b.ChassisId AND u.MemberId = b.MemberId;
CREATE INDEX PowerSupplyUri ON PowerSupplyUnits(
  '/redfish/v1/Chassis/' || ChassisId || '/PowerSubsystem/PowerSupplies/Bay' ||
  (CAST(MemberId AS INTEGER) + 1));

CREATE VIEW PCIeDeviceCollectionRoot AS
  SELECT '/redfish/v1/Chassis/' || c.Id || '/PCIeDevices' AS [@odata.id],
         json_object(
           '@odata.type', '#PCIeDeviceCollection.PCIeDeviceCollection',
           '@odata.id', '/redfish/v1/Chassis/' || c.Id || '/PCIeDevices',
           'Name', 'PCIe Device Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id))
                            FROM (SELECT * FROM PCIeDevices d WHERE d.ChassisId = c.Id ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM PCIeDevices d WHERE d.ChassisId = c.Id)) AS root
  FROM Chassis c;
CREATE INDEX PCIeDeviceCollectionUri ON Chassis('/redfish/v1/Chassis/' || Id || '/PCIeDevices');

CREATE VIEW PCIeFunctionCollectionRoot AS
  SELECT '/redfish/v1/Chassis/' || d.ChassisId || '/PCIeDevices/' || d.Id || '/PCIeFunctions' AS [@odata.id],
         json_object(
           '@odata.type', '#PCIeFunctionCollection.PCIeFunctionCollection',
           '@odata.id', '/redfish/v1/Chassis/' || d.ChassisId || '/PCIeDevices/' || d.Id || '/PCIeFunctions',
           'Name', 'PCIe Function Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', [@odata.id]))
                            FROM (SELECT [@odata.id] FROM PCIeFunctionView f
                                  WHERE f.PCIeDeviceKey = d.ChassisId || '/' || d.Id ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM PCIeFunctionView f
                                   WHERE f.PCIeDeviceKey = d.ChassisId || '/' || d.Id)) AS root
  FROM PCIeDevices d;
CREATE INDEX PCIeFunctionCollectionUri ON PCIeDevices(
  '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id || '/PCIeFunctions');

CREATE VIEW SystemCollectionRoot AS
  SELECT '/redfish/v1/Systems' AS [@odata.id],
         json_object(
           '@odata.type', '#ComputerSystemCollection.ComputerSystemCollection',
           '@odata.id', '/redfish/v1/Systems', 'Name', 'Computer System Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Systems/' || Id))
                            FROM (SELECT Id FROM Systems ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM Systems)) AS root;

CREATE VIEW SystemRoot AS
  SELECT '/redfish/v1/Systems/' || s.Id AS [@odata.id],
         json_object(
           '@odata.type', '#ComputerSystem.v1_13_0.ComputerSystem',
           '@odata.id', '/redfish/v1/Systems/' || s.Id, 'Id', s.Id, 'Name', s.Name,
           'SystemType', s.SystemType, 'Manufacturer', s.Manufacturer, 'Model', s.Model,
           'SerialNumber', s.SerialNumber, 'PowerState', s.PowerState,
           'Status', json_object('State', s.State, 'Health', s.Health),
           'Boot', json_object(
             'BootOptions', json_object('@odata.id', '/redfish/v1/Systems/' || s.Id || '/BootOptions'),
             'BootOrder', json((SELECT json_group_array(Reference)
                                FROM (SELECT Reference FROM BootOptions o WHERE o.SystemId = s.Id ORDER BY Id)))),
           'Links', json_object(
             'Chassis', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Chassis/' || Id))
                              FROM (SELECT Id FROM Chassis c WHERE c.SystemId = s.Id ORDER BY Id))))) AS root
  FROM Systems s;
CREATE INDEX SystemUri ON Systems('/redfish/v1/Systems/' || Id);

CREATE VIEW ManagerCollectionRoot AS
  SELECT '/redfish/v1/Managers' AS [@odata.id],
         json_object(
           '@odata.type', '#ManagerCollection.ManagerCollection',
           '@odata.id', '/redfish/v1/Managers', 'Name', 'Manager Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Managers/' || Id))
                            FROM (SELECT Id FROM Managers ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM Managers)) AS root;

CREATE VIEW ManagerRoot AS
  SELECT '/redfish/v1/Managers/' || m.Id AS [@odata.id],
         json_object(
           '@odata.type', '#Manager.v1_16_4.Manager', '@odata.id', '/redfish/v1/Managers/' || m.Id,
           'Id', m.Id, 'Name', m.Name, 'ManagerType', m.ManagerType, 'Model', m.Model,
           'FirmwareVersion', m.FirmwareVersion,
           'Status', json_object('State', m.State, 'Health', m.Health),
           'DedicatedNetworkPorts', json_object('@odata.id', '/redfish/v1/Managers/' || m.Id || '/DedicatedNetworkPorts'),
           'LogServices', json_object('@odata.id', '/redfish/v1/Managers/' || m.Id || '/LogServices'),
           'Links', json_object(
             'ManagerForChassis', json((SELECT json_group_array(json_object('@odata.id', '/redfish/v1/Chassis/' || Id))
                                        FROM (SELECT Id FROM ChassisInventory i WHERE i.ManagerId = m.Id ORDER BY Id))))) AS root
  FROM Managers m;
CREATE INDEX ManagerUri ON Managers('/redfish/v1/Managers/' || Id);

-- ---- Sensors and the event log (tables in live_objects.sql) -------------------------------
-- A collection lists its members from each table by the parent's key; the members of a
-- compound view (SensorRows) are read arm by arm, as SQLite searches each arm only for a
-- constant, not for the outer row's key.
CREATE VIEW SensorCollectionRoot AS
  SELECT '/redfish/v1/Chassis/' || c.Id || '/Sensors' AS [@odata.id],
         json_object(
           '@odata.type', '#SensorCollection.SensorCollection',
           '@odata.id', '/redfish/v1/Chassis/' || c.Id || '/Sensors', 'Name', 'Sensors',
           'Members', json((SELECT json_group_array(json_object('@odata.id', Uri)) FROM (
               SELECT 1 AS KindRank, MemberId,
                      '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Temperature' || MemberId AS Uri
               FROM TemperatureSensors t WHERE t.ChassisId = c.Id
               UNION ALL
               SELECT 2, MemberId, '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Fan' || MemberId
               FROM FanSensors f WHERE f.ChassisId = c.Id
               UNION ALL
               SELECT 3, MemberId, '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Voltage' || MemberId
               FROM VoltageSensors v WHERE v.ChassisId = c.Id
               UNION ALL
               SELECT 4, MemberId, '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Power' || MemberId
               FROM PowerControlSensors p WHERE p.ChassisId = c.Id
               ORDER BY 1, 2))),
           'Members@odata.count',
             (SELECT count(*) FROM TemperatureSensors t WHERE t.ChassisId = c.Id) +
             (SELECT count(*) FROM FanSensors f WHERE f.ChassisId = c.Id) +
             (SELECT count(*) FROM VoltageSensors v WHERE v.ChassisId = c.Id) +
             (SELECT count(*) FROM PowerControlSensors p WHERE p.ChassisId = c.Id)) AS root
  FROM Chassis c;
CREATE INDEX SensorCollectionUri ON Chassis('/redfish/v1/Chassis/' || Id || '/Sensors');

-- A reading of -1 is one the sensor does not deliver: null, as the engine shows it; a threshold
-- of -1 is one the sensor does not have, left out.
CREATE VIEW SensorRoot AS
  SELECT Uri AS [@odata.id],
         json_object(
           '@odata.type', '#Sensor.v1_12_0.Sensor', '@odata.id', Uri, 'Id', Id, 'Name', Name,
           'ReadingType', ReadingType, 'ReadingUnits', ReadingUnits,
           'Reading', nullif(Reading, -1), 'ReadingRangeMin', RangeMin,
           'ReadingRangeMax', RangeMax, 'PhysicalContext', PhysicalContext,
           'Status', json_object('State', State, 'Health', Health),
           'Thresholds', json((SELECT json_group_object(Kind, json_object('Reading', Reading))
                               FROM (SELECT 'UpperCaution' AS Kind, s.UpperCaution AS Reading
                                     UNION ALL SELECT 'UpperCritical', s.UpperCritical
                                     UNION ALL SELECT 'UpperFatal', s.UpperFatal
                                     UNION ALL SELECT 'LowerCaution', s.LowerCaution
                                     UNION ALL SELECT 'LowerCritical', s.LowerCritical
                                     UNION ALL SELECT 'LowerFatal', s.LowerFatal)
                               WHERE Reading <> -1)),
           'RelatedItem', json((SELECT json_group_array(json_object('@odata.id', Target))
                                FROM (SELECT Target FROM ResourceLinks
                                      WHERE Kind = 'RelatedItem' AND Owner = s.LinkOwner
                                      ORDER BY Ord)))) AS root
  FROM SensorRows s;

CREATE VIEW LogServiceCollectionRoot AS
  SELECT '/redfish/v1/Managers/' || m.Id || '/LogServices' AS [@odata.id],
         json_object(
           '@odata.type', '#LogServiceCollection.LogServiceCollection',
           '@odata.id', '/redfish/v1/Managers/' || m.Id || '/LogServices',
           'Name', 'Log Service Collection',
           'Members', json((SELECT json_group_array(json_object('@odata.id',
                              '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || Id))
                            FROM (SELECT * FROM LogServices l WHERE l.ManagerId = m.Id ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM LogServices l WHERE l.ManagerId = m.Id)) AS root
  FROM Managers m;
CREATE INDEX LogServiceCollectionUri ON Managers('/redfish/v1/Managers/' || Id || '/LogServices');

CREATE VIEW LogServiceRoot AS
  SELECT '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || Id AS [@odata.id],
         json_object(
           '@odata.type', '#LogService.v1_9_0.LogService',
           '@odata.id', '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || Id,
           'Id', Id, 'Name', Name, 'Description', Description, 'LogEntryType', LogEntryType,
           'MaxNumberOfRecords', MaxNumberOfRecords, 'OverWritePolicy', OverWritePolicy,
           'ServiceEnabled', json_bool(ServiceEnabled),
           'Status', json_object('State', State, 'Health', Health),
           'Entries', json_object('@odata.id', '/redfish/v1/Managers/' || ManagerId ||
                                  '/LogServices/' || Id || '/Entries')) AS root
  FROM LogServices;
CREATE INDEX LogServiceUri ON LogServices(
  '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || Id);

CREATE VIEW LogEntryCollectionRoot AS
  SELECT '/redfish/v1/Managers/' || l.ManagerId || '/LogServices/' || l.Id || '/Entries' AS [@odata.id],
         json_object(
           '@odata.type', '#LogEntryCollection.LogEntryCollection',
           '@odata.id', '/redfish/v1/Managers/' || l.ManagerId || '/LogServices/' || l.Id || '/Entries',
           'Name', 'Log Entries',
           'Members', json((SELECT json_group_array(json_object('@odata.id',
                              '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || ServiceId ||
                              '/Entries/' || Id))
                            FROM (SELECT * FROM LogEntries e
                                  WHERE e.ManagerId = l.ManagerId AND e.ServiceId = l.Id ORDER BY Id))),
           'Members@odata.count', (SELECT count(*) FROM LogEntries e
                                   WHERE e.ManagerId = l.ManagerId AND e.ServiceId = l.Id)) AS root
  FROM LogServices l;
CREATE INDEX LogEntryCollectionUri ON LogServices(
  '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || Id || '/Entries');

CREATE VIEW LogEntryRoot AS
  SELECT '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || ServiceId || '/Entries/' || Id
           AS [@odata.id],
         json_object(
           '@odata.type', '#LogEntry.v1_21_0.LogEntry',
           '@odata.id', '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || ServiceId ||
                        '/Entries/' || Id,
           'Id', CAST(Id AS TEXT), 'Name', 'Log Entry ' || Id, 'EntryType', EntryType,
           'Created', Created, 'Severity', Severity, 'MessageId', MessageId, 'Message', Message,
           'MessageArgs', json(MessageArgs),
           'Links', CASE WHEN Origin IS NULL THEN json_object()
                         ELSE json_object('OriginOfCondition', json_object('@odata.id', Origin))
                    END) AS root
  FROM LogEntries;
CREATE INDEX LogEntryUri ON LogEntries(
  '/redfish/v1/Managers/' || ManagerId || '/LogServices/' || ServiceId || '/Entries/' || Id);

-- Routes of resources that the engine builds (EngineViews in resource_info.sql): the root
-- column names the resource's type and URI only, which is all a service needs to route it.
CREATE VIEW AssemblyRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM AssemblyView;
CREATE VIEW PCIeFunctionRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM PCIeFunctionView;
CREATE VIEW FabricCollectionRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM FabricCollectionView;
CREATE VIEW FabricRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM FabricView;
CREATE VIEW SwitchCollectionRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM SwitchCollectionView;
CREATE VIEW SwitchRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM SwitchView;
CREATE VIEW PortCollectionRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM PortCollectionView;
CREATE VIEW PortRoot AS
  SELECT [@odata.id], json_object('@odata.type', [@odata.type], '@odata.id', [@odata.id]) AS root
  FROM PortView;
COMMIT;
