-- OpenAPI resource database: which statement produces each Redfish URI.
-- UriInfo maps a URI pattern (SQLite LIKE, no trailing '/') with its count of '/' to a view
-- whose columns are root (the resource as JSON text) and "@odata.id" (the resource's URI).
-- The views live in the live-object database (root_views.sql). A row may instead define its
-- view in CTE, ahead of the composed select: a view only sees its own database, while a CTE
-- sees every attached one, so the resources built from the HMC database are CTEs. A view whose
-- name holds "JSON" is served from the telemetry database instead.
--
-- EngineViews names, for each route (by its view name in UriInfo) whose resource has a type
-- that the converter formats, the view the engine builds that resource from (selected where
-- "@odata.id" is the URI). A NULL engine view would keep the route's root column as the answer.
BEGIN;
CREATE TABLE UriInfo (URI TEXT PRIMARY KEY, n_Segments INTEGER NOT NULL, view_name TEXT,
                      CTE TEXT, privilege TEXT, link TEXT, allow_header TEXT,
                      CTE_length INTEGER);

CREATE TEMP TABLE Routes (URI TEXT, view_name TEXT, CTE TEXT, allow_header TEXT);
INSERT INTO Routes VALUES
  ('/redfish/v1/Systems/%/BootOptions', 'BootOptionCollectionRoot',
   'WITH BootOptionCollectionRoot AS (SELECT ''/redfish/v1/Systems/'' || s.Id || ''/BootOptions'' AS [@odata.id], json_object(''@odata.type'', ''#BootOptionCollection.BootOptionCollection'', ''@odata.id'', ''/redfish/v1/Systems/'' || s.Id || ''/BootOptions'', ''Name'', ''Boot Options'', ''Members'', json((SELECT json_group_array(json_object(''@odata.id'', ''/redfish/v1/Systems/'' || SystemId || ''/BootOptions/'' || Id)) FROM (SELECT SystemId, Id FROM BootOptions o WHERE o.SystemId = s.Id ORDER BY Id))), ''Members@odata.count'', (SELECT count(*) FROM BootOptions o WHERE o.SystemId = s.Id)) AS root FROM Systems s)',
   'GET'),
  ('/redfish/v1/Systems/%/BootOptions/%', 'BootOptionRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Chassis/%/PCIeDevices/%', 'PCIeDeviceRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/Thermal', 'ThermalRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/Power', 'PowerJSONView', NULL, 'GET'),
  ('/redfish/v1/Managers/%/DedicatedNetworkPorts', 'ManagerPortCollectionRoot',
   'WITH ManagerPortCollectionRoot AS (SELECT ''/redfish/v1/Managers/'' || m.Id || ''/DedicatedNetworkPorts'' AS [@odata.id], json_object(''@odata.type'', ''#PortCollection.PortCollection'', ''@odata.id'', ''/redfish/v1/Managers/'' || m.Id || ''/DedicatedNetworkPorts'', ''Name'', ''Dedicated Network Ports'', ''Members'', json((SELECT json_group_array(json_object(''@odata.id'', ''/redfish/v1/Managers/'' || ManagerId || ''/DedicatedNetworkPorts/'' || Id)) FROM (SELECT ManagerId, Id FROM HmcNetworkPorts p WHERE p.ManagerId = m.Id ORDER BY Id))), ''Members@odata.count'', (SELECT count(*) FROM HmcNetworkPorts p WHERE p.ManagerId = m.Id)) AS root FROM Managers m)',
   'GET'),
  ('/redfish/v1/Managers/%/DedicatedNetworkPorts/%', 'ManagerPortRoot',
   'WITH ManagerPortRoot AS (SELECT ''/redfish/v1/Managers/'' || ManagerId || ''/DedicatedNetworkPorts/'' || Id AS [@odata.id], json_object(''@odata.type'', ''#Port.v1_12_0.Port'', ''@odata.id'', ''/redfish/v1/Managers/'' || ManagerId || ''/DedicatedNetworkPorts/'' || Id) AS root FROM HmcNetworkPorts)',
   'GET, PATCH'),
  ('/redfish/v1', 'ServiceRootRoot', NULL, 'GET'),
  ('/redfish/v1/SessionService/Sessions', 'SessionCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis', 'ChassisCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%', 'ChassisRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Chassis/%/PowerSubsystem', 'PowerSubsystemRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/PowerSubsystem/PowerSupplies', 'PowerSupplyCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/PowerSubsystem/PowerSupplies/%', 'PowerSupplyRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/PowerSubsystem/PowerSupplies/%/Assembly', 'AssemblyRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Chassis/%/PCIeDevices', 'PCIeDeviceCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/PCIeDevices/%/PCIeFunctions', 'PCIeFunctionCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/PCIeDevices/%/PCIeFunctions/%', 'PCIeFunctionRoot', NULL, 'GET'),
  ('/redfish/v1/Systems', 'SystemCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Systems/%', 'SystemRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Managers', 'ManagerCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Managers/%', 'ManagerRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Fabrics', 'FabricCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Fabrics/%', 'FabricRoot', NULL, 'GET'),
  ('/redfish/v1/Fabrics/%/Switches', 'SwitchCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Fabrics/%/Switches/%', 'SwitchRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Fabrics/%/Switches/%/Ports', 'PortCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Fabrics/%/Switches/%/Ports/%', 'PortRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Chassis/%/Sensors', 'SensorCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Chassis/%/Sensors/%', 'SensorRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Managers/%/LogServices', 'LogServiceCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Managers/%/LogServices/%', 'LogServiceRoot', NULL, 'GET, PATCH'),
  ('/redfish/v1/Managers/%/LogServices/%/Entries', 'LogEntryCollectionRoot', NULL, 'GET'),
  ('/redfish/v1/Managers/%/LogServices/%/Entries/%', 'LogEntryRoot', NULL, 'GET');
INSERT INTO UriInfo
  SELECT URI, length(URI) - length(replace(URI, '/', '')), view_name, CTE, 'Login',
         NULL, allow_header, length(CTE)
  FROM Routes;
DROP TABLE Routes;

CREATE TABLE EngineViews (root_view TEXT PRIMARY KEY, engine_view TEXT);
INSERT INTO EngineViews VALUES
  ('PowerJSONView', 'PowerView'),
  ('ThermalRoot', 'ThermalView'),
  ('AssemblyRoot', 'AssemblyView'),
  ('PCIeDeviceRoot', 'PCIeDeviceView'),
  ('PCIeFunctionRoot', 'PCIeFunctionView'),
  ('BootOptionCollectionRoot', 'BootOptionCollectionView'),
  ('BootOptionRoot', 'BootOptionView'),
  ('FabricCollectionRoot', 'FabricCollectionView'),
  ('FabricRoot', 'FabricView'),
  ('SwitchCollectionRoot', 'SwitchCollectionView'),
  ('SwitchRoot', 'SwitchView'),
  ('PortCollectionRoot', 'PortCollectionView'),
  ('PortRoot', 'PortView'),
  ('ManagerPortCollectionRoot', 'ManagerPortCollectionView'),
  ('ManagerPortRoot', 'ManagerPortView');
COMMIT;
