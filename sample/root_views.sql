-- Views that serve URI requests (see UriInfo in resource_info.sql): each has the column root,
-- the whole resource as JSON text built with SQLite's JSON functions and the converter's SQL
-- functions, and the column "@odata.id" that the request's URI is compared with. They live in
-- the live-object database because a view only sees the tables of its own database.
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
COMMIT;
