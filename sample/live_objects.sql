-- Live-object database of the sample server: one rack-mount chassis "1U" with its system.
-- Tables hold the raw inventory as the controller's services would store it; one view per
-- Redfish type turns it into rows whose columns are named after the type's properties:
--   Parent#Child          a nested property, folded into the member Parent
--   array/object columns  the SQL text of the sub-query that builds the array or object
--   ChassisId, SwitchId, ... internal join keys, typed "additional" in the metadata database
--   -1                    a reading the sensor does not deliver; the converter shows null
-- Every statement run for one resource searches, however many rows the tables hold: each view
-- that computes a resource's "@odata.id" has an index on that very expression over its table
-- (the "...Uri" indexes after each view), and each lookup of members or links by their
-- parent's key has an index on that key ("...By..."). `sql2json check` reports a statement
-- whose plan reads a table whole.
-- The Power and Thermal values are those of DMTF's public-rackmount1 mockup.
BEGIN;

CREATE TABLE Chassis (Id TEXT PRIMARY KEY, SystemId TEXT NOT NULL);
INSERT INTO Chassis VALUES ('1U', '437XR1138R2');
CREATE INDEX ChassisBySystem ON Chassis(SystemId, Id);

-- Links from one member to other resources: RelatedItem, Redundancy, RedundancySet, ...
CREATE TABLE ResourceLinks (Owner TEXT NOT NULL, Kind TEXT NOT NULL, Ord INTEGER NOT NULL,
                            Target TEXT NOT NULL);
INSERT INTO ResourceLinks VALUES
  ('/redfish/v1/Chassis/1U/Power#/PowerControl/0', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Power#/PowerControl/0', 'RelatedItem', 1, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Power#/Voltages/0', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Power#/Voltages/0', 'RelatedItem', 1, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Power#/Voltages/1', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Power#/Voltages/1', 'RelatedItem', 1, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Power#/PowerSupplies/0', 'RelatedItem', 0, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Thermal#/Temperatures/0', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Thermal#/Temperatures/1', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Thermal#/Temperatures/2', 'RelatedItem', 0, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Thermal#/Temperatures/2', 'RelatedItem', 1, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/0', 'Redundancy', 0, '/redfish/v1/Chassis/1U/Thermal#/Redundancy/0'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/0', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/0', 'RelatedItem', 1, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/1', 'Redundancy', 0, '/redfish/v1/Chassis/1U/Thermal#/Redundancy/0'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/1', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Chassis/1U/Thermal#/Fans/1', 'RelatedItem', 1, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Chassis/1U/Thermal#/Redundancy/0', 'RedundancySet', 0, '/redfish/v1/Chassis/1U/Thermal#/Fans/0'),
  ('/redfish/v1/Chassis/1U/Thermal#/Redundancy/0', 'RedundancySet', 1, '/redfish/v1/Chassis/1U/Thermal#/Fans/1'),
  ('/redfish/v1/Chassis/1U/PCIeDevices/NIC', 'Chassis', 0, '/redfish/v1/Chassis/1U'),
  ('/redfish/v1/Systems/437XR1138R2/BootOptions/1', 'RelatedItem', 0, '/redfish/v1/Systems/437XR1138R2'),
  ('/redfish/v1/Systems/437XR1138R2/BootOptions/2', 'RelatedItem', 0, '/redfish/v1/Chassis/1U/PCIeDevices/NIC');

-- ---- Power --------------------------------------------------------------------------------
CREATE TABLE PowerControlSensors (
  ChassisId TEXT, MemberId TEXT, Name TEXT, ConsumedW NUMERIC, RequestedW NUMERIC,
  AvailableW NUMERIC, CapacityW NUMERIC, AllocatedW NUMERIC, IntervalMin INTEGER, MinW NUMERIC,
  MaxW NUMERIC, AvgW NUMERIC, State TEXT, Health TEXT);
INSERT INTO PowerControlSensors VALUES
  ('1U', '0', 'System Input Power', 344, 800, 0, 800, 800, 30, 271, 489, 319, 'Enabled', 'OK');
CREATE INDEX PowerControlSensorsByChassis ON PowerControlSensors(ChassisId, MemberId);

CREATE TABLE PowerLimits (ChassisId TEXT, MemberId TEXT, LimitInWatts NUMERIC,
                          LimitException TEXT, CorrectionInMs INTEGER);
INSERT INTO PowerLimits VALUES ('1U', '0', 500, 'LogEventOnly', 50);
CREATE INDEX PowerLimitsByControl ON PowerLimits(ChassisId, MemberId);

CREATE TABLE VoltageSensors (
  ChassisId TEXT, MemberId TEXT, Name TEXT, SensorNumber INTEGER, State TEXT, Health TEXT,
  ReadingVolts NUMERIC, UpperNC NUMERIC, UpperC NUMERIC, UpperF NUMERIC, LowerNC NUMERIC,
  LowerC NUMERIC, LowerF NUMERIC, MinRange NUMERIC, MaxRange NUMERIC, PhysicalContext TEXT);
INSERT INTO VoltageSensors VALUES
  ('1U', '0', 'VRM1 Voltage', 11, 'Enabled', 'OK', 12, 12.5, 13, 15, 11.5, 11, 10, 0, 20, 'VoltageRegulator'),
  ('1U', '1', 'VRM2 Voltage', 12, 'Enabled', 'OK', 5, 5.5, 7, -1, 4.75, 4.5, -1, 0, 20, 'VoltageRegulator');
CREATE INDEX VoltageSensorsByChassis ON VoltageSensors(ChassisId, MemberId);

CREATE TABLE PowerSupplyUnits (
  ChassisId TEXT, MemberId TEXT, Name TEXT, State TEXT, Health TEXT, SupplyType TEXT,
  InputVoltageType TEXT, InputVoltage NUMERIC, CapacityW NUMERIC, LastOutputW NUMERIC,
  Model TEXT, Manufacturer TEXT, FirmwareVersion TEXT, SerialNumber TEXT, PartNumber TEXT,
  SparePartNumber TEXT);
INSERT INTO PowerSupplyUnits VALUES
  ('1U', '0', 'Power Supply Bay', 'Enabled', 'Warning', 'AC', 'ACWideRange', 120, 800, 325,
   '499253-B21', 'ManufacturerName', '1.00', '1Z0000001', '0000001A3A', '0000001A3A');
CREATE INDEX PowerSupplyUnitsByChassis ON PowerSupplyUnits(ChassisId, MemberId);

CREATE TABLE PsuInputRanges (ChassisId TEXT, MemberId TEXT, Ord INTEGER, InputType TEXT,
                             MinimumVoltage NUMERIC, MaximumVoltage NUMERIC,
                             OutputWattage NUMERIC);
INSERT INTO PsuInputRanges VALUES
  ('1U', '0', 0, 'AC', 100, 120, 800),
  ('1U', '0', 1, 'AC', 200, 240, 1300);
CREATE INDEX PsuInputRangesBySupply ON PsuInputRanges(ChassisId, MemberId, Ord);

-- The sub-query text of a link array: rows {"@odata.id": target} for one owner and kind. The
-- view has one row per link, each with the same text, so that a lookup by owner and kind
-- searches ResourceLinksByOwner (grouping the rows would read the whole table first).
CREATE INDEX ResourceLinksByOwner ON ResourceLinks(Owner, Kind, Ord);
CREATE VIEW LinkQueries AS
  SELECT Owner, Kind,
         'select Target as [@odata.id] from ResourceLinks where Owner = ' || quote(Owner) ||
         ' and Kind = ' || quote(Kind) || ' order by Ord' AS Query
  FROM ResourceLinks;

CREATE VIEW PowerControlView AS
  SELECT '#Power.v1_7_3.PowerControl' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerControl/' || MemberId AS [@odata.id],
         MemberId, Name, ConsumedW AS PowerConsumedWatts, RequestedW AS PowerRequestedWatts,
         AvailableW AS PowerAvailableWatts, CapacityW AS PowerCapacityWatts,
         AllocatedW AS PowerAllocatedWatts,
         IntervalMin AS [PowerMetrics#IntervalInMin], MinW AS [PowerMetrics#MinConsumedWatts],
         MaxW AS [PowerMetrics#MaxConsumedWatts], AvgW AS [PowerMetrics#AverageConsumedWatts],
         'select LimitInWatts, LimitException, CorrectionInMs from PowerLimits where ChassisId = '
           || quote(ChassisId) || ' and MemberId = ' || quote(MemberId) AS PowerLimit,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerControl/' || MemberId) AS RelatedItem,
         State AS [Status#State], Health AS [Status#Health]
  FROM PowerControlSensors;

CREATE VIEW VoltageView AS
  SELECT '#Power.v1_7_3.Voltage' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Power#/Voltages/' || MemberId AS [@odata.id],
         MemberId, Name, SensorNumber, State AS [Status#State], Health AS [Status#Health],
         ReadingVolts, UpperNC AS UpperThresholdNonCritical, UpperC AS UpperThresholdCritical,
         UpperF AS UpperThresholdFatal, LowerNC AS LowerThresholdNonCritical,
         LowerC AS LowerThresholdCritical, LowerF AS LowerThresholdFatal,
         MinRange AS MinReadingRange, MaxRange AS MaxReadingRange, PhysicalContext,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Power#/Voltages/' || MemberId) AS RelatedItem
  FROM VoltageSensors;

CREATE VIEW PowerSupplyView AS
  SELECT '#Power.v1_7_3.PowerSupply' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerSupplies/' || MemberId AS [@odata.id],
         MemberId, Name, State AS [Status#State], Health AS [Status#Health],
         SupplyType AS PowerSupplyType, InputVoltageType AS LineInputVoltageType,
         InputVoltage AS LineInputVoltage, CapacityW AS PowerCapacityWatts,
         LastOutputW AS LastPowerOutputWatts, Model, Manufacturer, FirmwareVersion, SerialNumber,
         PartNumber, SparePartNumber,
         'select InputType, MinimumVoltage, MaximumVoltage, OutputWattage from PsuInputRanges'
           || ' where ChassisId = ' || quote(ChassisId) || ' and MemberId = ' || quote(MemberId)
           || ' order by Ord' AS InputRanges,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerSupplies/' || MemberId) AS RelatedItem
  FROM PowerSupplyUnits;

CREATE VIEW PowerView AS
  SELECT '#Power.v1_7_3.Power' AS [@odata.type], Id AS ChassisId, 'Power' AS Id, 'Power' AS Name,
         '/redfish/v1/Chassis/' || Id || '/Power' AS [@odata.id],
         'select * from PowerControlView where ChassisId = ' || quote(Id) || ' order by MemberId'
           AS PowerControl,
         'select * from VoltageView where ChassisId = ' || quote(Id) || ' order by MemberId'
           AS Voltages,
         'select * from PowerSupplyView where ChassisId = ' || quote(Id) || ' order by MemberId'
           AS PowerSupplies
  FROM Chassis;
CREATE INDEX PowerUri ON Chassis('/redfish/v1/Chassis/' || Id || '/Power');

-- ---- Thermal ------------------------------------------------------------------------------
CREATE TABLE TemperatureSensors (
  ChassisId TEXT, MemberId TEXT, Name TEXT, SensorNumber INTEGER, State TEXT, Health TEXT,
  ReadingCelsius NUMERIC, UpperNC NUMERIC, UpperC NUMERIC, UpperF NUMERIC, LowerNC NUMERIC,
  LowerC NUMERIC, LowerF NUMERIC, MinRange NUMERIC, MaxRange NUMERIC, PhysicalContext TEXT);
INSERT INTO TemperatureSensors VALUES
  ('1U', '0', 'CPU1 Temp', 5, 'Enabled', 'OK', 41, 42, 45, 48, -1, -1, -1, 0, 60, 'CPU'),
  ('1U', '1', 'CPU2 Temp', 6, 'Disabled', NULL, -1, 42, 45, 48, -1, -1, -1, 0, 60, 'CPU'),
  ('1U', '2', 'Chassis Intake Temp', 9, 'Enabled', 'OK', 25, 30, 40, 50, 10, 5, 0, 0, 60, 'Intake');
CREATE INDEX TemperatureSensorsByChassis ON TemperatureSensors(ChassisId, MemberId);

CREATE TABLE FanSensors (
  ChassisId TEXT, MemberId TEXT, Name TEXT, PhysicalContext TEXT, State TEXT, Health TEXT,
  Reading INTEGER, ReadingUnits TEXT, LowerF INTEGER, MinRange INTEGER, MaxRange INTEGER);
INSERT INTO FanSensors VALUES
  ('1U', '0', 'BaseBoard System Fan', 'Backplane', 'Enabled', 'OK', 2100, 'RPM', 0, 0, 5000),
  ('1U', '1', 'BaseBoard System Fan Backup', 'Backplane', 'Enabled', 'OK', 2050, 'RPM', 0, 0, 5000);
CREATE INDEX FanSensorsByChassis ON FanSensors(ChassisId, MemberId);

CREATE TABLE RedundancyGroups (
  ChassisId TEXT, MemberId TEXT, Name TEXT, Mode TEXT, State TEXT, Health TEXT,
  MinNumNeeded INTEGER, MaxNumSupported INTEGER);
INSERT INTO RedundancyGroups VALUES
  ('1U', '0', 'BaseBoard System Fans', 'N+m', 'Enabled', 'OK', 1, 2);
CREATE INDEX RedundancyGroupsByChassis ON RedundancyGroups(ChassisId, MemberId);

CREATE VIEW TemperatureView AS
  SELECT '#Thermal.v1_7_3.Temperature' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Temperatures/' || MemberId AS [@odata.id],
         MemberId, Name, SensorNumber, State AS [Status#State], Health AS [Status#Health],
         ReadingCelsius, UpperNC AS UpperThresholdNonCritical, UpperC AS UpperThresholdCritical,
         UpperF AS UpperThresholdFatal, LowerNC AS LowerThresholdNonCritical,
         LowerC AS LowerThresholdCritical, LowerF AS LowerThresholdFatal,
         MinRange AS MinReadingRangeTemp, MaxRange AS MaxReadingRangeTemp, PhysicalContext,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Temperatures/' || MemberId) AS RelatedItem
  FROM TemperatureSensors;

CREATE VIEW FanView AS
  SELECT '#Thermal.v1_7_3.Fan' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Fans/' || MemberId AS [@odata.id],
         MemberId, Name, PhysicalContext, State AS [Status#State], Health AS [Status#Health],
         Reading, ReadingUnits, LowerF AS LowerThresholdFatal, MinRange AS MinReadingRange,
         MaxRange AS MaxReadingRange,
         (SELECT Query FROM LinkQueries WHERE Kind = 'Redundancy' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Fans/' || MemberId) AS Redundancy,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Fans/' || MemberId) AS RelatedItem
  FROM FanSensors;

CREATE VIEW RedundancyView AS
  SELECT '#Redundancy.v1_4_2.Redundancy' AS [@odata.type], ChassisId,
         '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Redundancy/' || MemberId AS [@odata.id],
         MemberId, Name, Mode, State AS [Status#State], Health AS [Status#Health], MinNumNeeded,
         MaxNumSupported,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RedundancySet' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Redundancy/' || MemberId) AS RedundancySet
  FROM RedundancyGroups;

CREATE VIEW ThermalView AS
  SELECT '#Thermal.v1_7_3.Thermal' AS [@odata.type], Id AS ChassisId, 'Thermal' AS Id,
         'Thermal' AS Name, '/redfish/v1/Chassis/' || Id || '/Thermal' AS [@odata.id],
         'select * from TemperatureView where ChassisId = ' || quote(Id) || ' order by MemberId'
           AS Temperatures,
         'select * from FanView where ChassisId = ' || quote(Id) || ' order by MemberId' AS Fans,
         'select * from RedundancyView where ChassisId = ' || quote(Id) || ' order by MemberId'
           AS Redundancy
  FROM Chassis;
CREATE INDEX ThermalUri ON Chassis('/redfish/v1/Chassis/' || Id || '/Thermal');

-- ---- Assembly of the power supply in bay 1 ------------------------------------------------
-- FRU records as read from the EEPROMs. Name is "<OEM key>#<display name>": the converter asks
-- the OEM data cache for the part before '#'. Dates come in the form the FRU reader wrote:
-- OpenSSL's ASN.1 time, or an English "Month day, year".
CREATE TABLE FruRecords (
  AssemblyId TEXT, MemberId TEXT, Name TEXT, Model TEXT, PartNumber TEXT, SparePartNumber TEXT,
  SKU TEXT, SerialNumber TEXT, Vendor TEXT, RawProductionDate TEXT, Producer TEXT,
  Version TEXT, EngineeringChangeLevel TEXT, BinaryDataURI TEXT);
INSERT INTO FruRecords VALUES
  ('PSU.Bay1', '0', 'PSU.Bay1#Contoso Power Supply', '345TTT', '923943', '55-434', '55ZZATR',
   '345394834', 'Contoso', 'Oct 01 14:55:33 2017 GMT', 'Contoso Supply Co.', '1.44B', '9',
   '/dumpster/434'),
  ('PSU.Bay1', '1', 'PSU.Bay1.Fan#Contoso Power Supply Fan', '77F', '923944', '55-435',
   '55ZZATF', '345394835', 'Contoso', 'November 12, 2017', 'Contoso Supply Co.', '1.02', '3',
   '/dumpster/435');
CREATE INDEX FruRecordsByAssembly ON FruRecords(AssemblyId, MemberId);

CREATE TABLE Assemblies (Id TEXT PRIMARY KEY, Uri TEXT UNIQUE, Name TEXT);
INSERT INTO Assemblies VALUES
  ('PSU.Bay1', '/redfish/v1/Chassis/1U/PowerSubsystem/PowerSupplies/Bay1/Assembly',
   'Power Supply-related Assembly data');

CREATE VIEW AssemblyDataView AS
  SELECT '#Assembly.v1_5_1.AssemblyData' AS [@odata.type], f.AssemblyId,
         a.Uri || '#/Assemblies/' || f.MemberId AS [@odata.id], f.MemberId, f.Name, f.Model,
         f.PartNumber, f.SparePartNumber, f.SKU, f.SerialNumber, f.Vendor,
         CASE WHEN instr(f.RawProductionDate, ',') > 0
              THEN Convert_ReleaseDate(f.RawProductionDate)
              ELSE convertTimeFormat(f.RawProductionDate) END AS ProductionDate,
         f.Producer, f.Version, f.EngineeringChangeLevel, f.BinaryDataURI
  FROM FruRecords f JOIN Assemblies a ON a.Id = f.AssemblyId;

CREATE VIEW AssemblyView AS
  SELECT '#Assembly.v1_5_1.Assembly' AS [@odata.type], Uri AS [@odata.id], 'Assembly' AS Id,
         Name,
         'select * from AssemblyDataView where AssemblyId = ' || quote(Id) || ' order by MemberId'
           AS Assemblies
  FROM Assemblies;

-- ---- PCIe ---------------------------------------------------------------------------------
CREATE TABLE PCIeDevices (
  ChassisId TEXT, Id TEXT, Name TEXT, Description TEXT, AssetTag TEXT, Manufacturer TEXT,
  Model TEXT, SKU TEXT, SerialNumber TEXT, PartNumber TEXT, DeviceType TEXT,
  FirmwareVersion TEXT, State TEXT, Health TEXT, HealthRollup TEXT, PCIeType TEXT,
  MaxPCIeType TEXT, LanesInUse INTEGER, MaxLanes INTEGER, ReadyToRemove INTEGER);
INSERT INTO PCIeDevices VALUES
  ('1U', 'NIC', 'Simple Two-Port NIC', 'Simple Two-Port NIC PCIe Device', 'ORD-4302015-18432RS',
   'Contoso', 'SuperNIC 2000', '89587433', '2M220100SL', '232-4598D7', 'MultiFunction',
   '12.342-343', 'Enabled', 'OK', 'OK', 'Gen2', 'Gen3', 4, 4, 0);
CREATE INDEX PCIeDevicesByChassis ON PCIeDevices(ChassisId, Id);

CREATE TABLE PCIeFunctions (
  ChassisId TEXT, DeviceId TEXT, Id TEXT, Name TEXT, FunctionId INTEGER, FunctionType TEXT,
  DeviceClass TEXT, PciDeviceId TEXT, VendorId TEXT, ClassCode TEXT, RevisionId TEXT,
  SubsystemId TEXT, SubsystemVendorId TEXT, Enabled TEXT, State TEXT, Health TEXT);
INSERT INTO PCIeFunctions VALUES
  ('1U', 'NIC', '1', 'NIC Port 1', 0, 'Physical', 'NetworkController', '0xABCD', '0xABCD',
   '0x020000', '0x00', '0xABCD', '0xABCD', 'true', 'Enabled', 'OK'),
  ('1U', 'NIC', '2', 'NIC Port 2', 1, 'Physical', 'NetworkController', '0xABCD', '0xABCD',
   '0x020000', '0x00', '0xABCD', '0xABCD', 'false', 'Disabled', 'OK');
CREATE INDEX PCIeFunctionsByDevice ON PCIeFunctions(ChassisId || '/' || DeviceId, Id);

CREATE VIEW PCIeDeviceView AS
  SELECT '#PCIeDevice.v1_14_0.PCIeDevice' AS [@odata.type],
         '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id AS [@odata.id], Id, Name,
         Description, AssetTag, Manufacturer, Model, SKU, SerialNumber, PartNumber, DeviceType,
         FirmwareVersion, State AS [Status#State], Health AS [Status#Health],
         HealthRollup AS [Status#HealthRollup], PCIeType AS [PCIeInterface#PCIeType],
         MaxPCIeType AS [PCIeInterface#MaxPCIeType], LanesInUse AS [PCIeInterface#LanesInUse],
         MaxLanes AS [PCIeInterface#MaxLanes], ReadyToRemove,
         'select ' || quote('/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id ||
           '/PCIeFunctions') || ' as [@odata.id]' AS PCIeFunctions,
         (SELECT Query FROM LinkQueries WHERE Kind = 'Chassis' AND Owner =
            '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id) AS [Links#Chassis],
         'select [@odata.id] from PCIeFunctionView where PCIeDeviceKey = ' ||
           quote(ChassisId || '/' || Id) || ' order by Id' AS [Links#PCIeFunctions]
  FROM PCIeDevices;
CREATE INDEX PCIeDeviceUri ON PCIeDevices('/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || Id);

CREATE VIEW PCIeFunctionView AS
  SELECT '#PCIeFunction.v1_6_0.PCIeFunction' AS [@odata.type],
         ChassisId || '/' || DeviceId AS PCIeDeviceKey,
         '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || DeviceId || '/PCIeFunctions/'
           || Id AS [@odata.id], Id, Name, Name AS Description, FunctionId, FunctionType,
         DeviceClass, PciDeviceId AS DeviceId, VendorId, ClassCode, RevisionId, SubsystemId,
         SubsystemVendorId, Enabled, State AS [Status#State], Health AS [Status#Health],
         'select ' || quote('/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || DeviceId) ||
           ' as [@odata.id]' AS [Links#PCIeDevice]
  FROM PCIeFunctions;
CREATE INDEX PCIeFunctionUri ON PCIeFunctions(
  '/redfish/v1/Chassis/' || ChassisId || '/PCIeDevices/' || DeviceId || '/PCIeFunctions/' || Id);

-- ---- CXL fabric, its switch and ports -----------------------------------------------------
CREATE TABLE Fabrics (Id TEXT PRIMARY KEY, Name TEXT, Description TEXT, FabricType TEXT, State TEXT,
                      Health TEXT, MaxZones INTEGER);
INSERT INTO Fabrics VALUES ('CXL', 'CXL Fabric', 'CXL Fabric', 'CXL', 'Enabled', 'OK', 4);

CREATE TABLE Switches (FabricId TEXT, Id TEXT, Name TEXT, SwitchType TEXT, Enabled INTEGER,
                       IsManaged TEXT, PowerState TEXT, State TEXT, Health TEXT,
                       HealthRollup TEXT, UUID TEXT, MaxVCSs INTEGER, TotalVPPBs INTEGER);
INSERT INTO Switches VALUES
  ('CXL', 'CXL', 'CXL Switch', 'CXL', 1, 'true', 'On', 'Enabled', 'OK', 'OK',
   '1ad59fe9-49f9-52fa-9a93-e349f9477fe0', 4, 12);
CREATE INDEX SwitchesByFabric ON Switches(FabricId, Id);

CREATE TABLE SwitchPorts (
  FabricId TEXT, SwitchId TEXT, Id TEXT, Name TEXT, Description TEXT, State TEXT, Health TEXT,
  RemotePortId TEXT, PortId TEXT, PortProtocol TEXT, ProtocolVersion TEXT, PortType TEXT,
  PortMedium TEXT, SpeedGbps NUMERIC, Width INTEGER, MaxSpeedGbps NUMERIC, ActiveWidth INTEGER,
  LinkState TEXT, LinkStatus TEXT, InterfaceEnabled INTEGER, Technology TEXT,
  CxlConfigState TEXT, CxlMaxLD INTEGER);
INSERT INTO SwitchPorts VALUES
  ('CXL', 'CXL', 'U1', 'CXL Port U1', 'CXL Upstream Port 1 in switch', 'Enabled', 'OK', '1',
   '0', 'CXL', '2.0', 'UpstreamPort', 'Electrical', 512, 16, 512, 16, 'Enabled', 'LinkUp', 1,
   'PCIe', 'USP', 1),
  ('CXL', 'CXL', 'D1', 'CXL Port D1', 'CXL Downstream Port 1 in switch', 'Enabled', 'OK', '1',
   '4', 'CXL', '2.0', 'DownstreamPort', 'Electrical', -1, 8, 512, 0, 'Enabled', 'LinkDown',
   0, 'PCIe', 'DSP', 1);
CREATE INDEX SwitchPortsBySwitch ON SwitchPorts(FabricId || '/' || SwitchId, Id);

CREATE VIEW FabricView AS
  SELECT '#Fabric.v1_3_2.Fabric' AS [@odata.type], '/redfish/v1/Fabrics/' || Id AS [@odata.id],
         Id, Name, Description, FabricType, MaxZones, State AS [Status#State],
         Health AS [Status#Health],
         'select ' || quote('/redfish/v1/Fabrics/' || Id || '/Switches') || ' as [@odata.id]'
           AS Switches
  FROM Fabrics;
CREATE INDEX FabricUri ON Fabrics('/redfish/v1/Fabrics/' || Id);

CREATE VIEW FabricCollectionView AS
  SELECT '#FabricCollection.FabricCollection' AS [@odata.type], '/redfish/v1/Fabrics' AS [@odata.id],
         'Fabric Collection' AS Name,
         'select [@odata.id] from FabricView order by Id' AS Members;

CREATE VIEW SwitchView AS
  SELECT '#Switch.v1_9_3.Switch' AS [@odata.type], FabricId,
         '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id AS [@odata.id], Id, Name,
         SwitchType, Enabled, IsManaged, PowerState, State AS [Status#State],
         Health AS [Status#Health], HealthRollup AS [Status#HealthRollup], UUID,
         MaxVCSs AS [CXL#MaxVCSsSupported], TotalVPPBs AS [CXL#TotalNumbervPPBs],
         'select ' || quote('/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id || '/Ports')
           || ' as [@odata.id]' AS Ports,
         (SELECT Query FROM LinkQueries WHERE Kind = 'Endpoints' AND Owner =
            '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id) AS [Links#Endpoints]
  FROM Switches;
CREATE INDEX SwitchUri ON Switches('/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id);

CREATE VIEW SwitchCollectionView AS
  SELECT '#SwitchCollection.SwitchCollection' AS [@odata.type],
         '/redfish/v1/Fabrics/' || Id || '/Switches' AS [@odata.id],
         'Switch Collection' AS Name,
         'select [@odata.id] from SwitchView where FabricId = ' || quote(Id) || ' order by Id'
           AS Members
  FROM Fabrics;
CREATE INDEX SwitchCollectionUri ON Fabrics('/redfish/v1/Fabrics/' || Id || '/Switches');

CREATE VIEW PortView AS
  SELECT '#Port.v1_12_0.Port' AS [@odata.type], FabricId || '/' || SwitchId AS SwitchId,
         '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || SwitchId || '/Ports/' || Id
           AS [@odata.id], Id, Name, Description, State AS [Status#State],
         Health AS [Status#Health], RemotePortId, PortId, PortProtocol,
         ProtocolVersion AS CurrentProtocolVersion, PortType, PortMedium,
         SpeedGbps AS CurrentSpeedGbps, Width, MaxSpeedGbps, ActiveWidth, LinkState, LinkStatus,
         InterfaceEnabled, Technology AS LinkNetworkTechnology,
         CxlConfigState AS [CXL#CurrentPortConfigurationState],
         CxlMaxLD AS [CXL#MaxLogicalDeviceCount],
         (SELECT Query FROM LinkQueries WHERE Kind = 'AssociatedEndpoints' AND Owner =
            '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || SwitchId || '/Ports/' || Id)
           AS [Links#AssociatedEndpoints],
         (SELECT Query FROM LinkQueries WHERE Kind = 'ConnectedPorts' AND Owner =
            '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || SwitchId || '/Ports/' || Id)
           AS [Links#ConnectedPorts]
  FROM SwitchPorts;
CREATE INDEX PortUri ON SwitchPorts(
  '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || SwitchId || '/Ports/' || Id);

CREATE VIEW PortCollectionView AS
  SELECT '#PortCollection.PortCollection' AS [@odata.type],
         '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id || '/Ports' AS [@odata.id],
         'CXL Port Collection' AS Name,
         'select [@odata.id] from PortView where SwitchId = ' || quote(FabricId || '/' || Id)
           || ' order by Id' AS Members
  FROM Switches;
CREATE INDEX PortCollectionUri ON Switches(
  '/redfish/v1/Fabrics/' || FabricId || '/Switches/' || Id || '/Ports');

-- ---- Boot options of the system -----------------------------------------------------------
CREATE TABLE BootOptions (
  SystemId TEXT, Id TEXT, Reference TEXT, DisplayName TEXT, DevicePath TEXT, Alias TEXT,
  Enabled INTEGER, Description TEXT);
INSERT INTO BootOptions VALUES
  ('437XR1138R2', '1', 'Boot0000', 'Windows Boot Manager',
   'PciRoot(0x0)/Pci(0x1,0x0)/Pci(0x0,0x0)/Scsi(0x0,0x0)/HD(2,GPT,B02BF459-8975-4222-A1C4-17915C29E5E5,0x96800,0x31800)/\EFI\Microsoft\Boot\bootmgfw.efi',
   'Hdd', 1, 'UEFI Boot Option'),
  ('437XR1138R2', '2', 'Boot0001', 'UEFI PXEv4 (MAC:001122AABBCC)',
   'PciRoot(0x0)/Pci(0x1C,0x0)/Pci(0x0,0x0)/MAC(001122AABBCC,0x1)/IPv4(0.0.0.0)', 'Pxe', 0,
   'UEFI Boot Option');
CREATE INDEX BootOptionsBySystem ON BootOptions(SystemId, Id);

CREATE VIEW BootOptionView AS
  SELECT '#BootOption.v1_0_6.BootOption' AS [@odata.type], SystemId,
         '/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id AS [@odata.id], Id,
         'Boot Option' AS Name, Description, Reference AS BootOptionReference, DisplayName,
         DevicePath AS UefiDevicePath, Alias, Enabled AS BootOptionEnabled,
         (SELECT Query FROM LinkQueries WHERE Kind = 'RelatedItem' AND Owner =
            '/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id) AS RelatedItem
  FROM BootOptions;
CREATE INDEX BootOptionUri ON BootOptions('/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id);

CREATE VIEW BootOptionCollectionView AS
  SELECT '#BootOptionCollection.BootOptionCollection' AS [@odata.type],
         '/redfish/v1/Systems/' || Id || '/BootOptions' AS [@odata.id],
         'Boot Options' AS Name,
         'select [@odata.id] from BootOptionView where SystemId = ' || quote(Id) ||
           ' order by Id' AS Members
  FROM Systems;

-- ---- Service root, chassis inventory, system and manager ----------------------------------
-- What a client reads on its way from the service root to the resources above.
CREATE TABLE ServiceRoot (Id TEXT, Name TEXT, RedfishVersion TEXT, UUID TEXT, Product TEXT,
                          Vendor TEXT);
INSERT INTO ServiceRoot VALUES
  ('RootService', 'Root Service', '1.11.0', '92384634-2938-2342-8820-489239905423',
   'Sample 1U rack-mount server', 'Vexa');

CREATE TABLE ChassisInventory (
  Id TEXT PRIMARY KEY, Name TEXT, ChassisType TEXT, Manufacturer TEXT, Model TEXT, SKU TEXT,
  SerialNumber TEXT, PartNumber TEXT, AssetTag TEXT, PowerState TEXT, IndicatorLED TEXT,
  State TEXT, Health TEXT, ManagerId TEXT);
INSERT INTO ChassisInventory VALUES
  ('1U', 'Computer System Chassis', 'RackMount', 'Contoso', '3500RX', '8675309',
   '437XR1138R2', '224071-J23', 'Chicago-45Z-2381', 'On', 'Lit', 'Enabled', 'OK', 'BMC');
CREATE INDEX ChassisInventoryByManager ON ChassisInventory(ManagerId, Id);

CREATE TABLE Systems (Id TEXT PRIMARY KEY, Name TEXT, SystemType TEXT, Manufacturer TEXT,
                      Model TEXT, SerialNumber TEXT, PowerState TEXT, State TEXT, Health TEXT);
INSERT INTO Systems VALUES
  ('437XR1138R2', 'WebFrontEnd483', 'Physical', 'Contoso', '3500RX', '437XR1138R2', 'On',
   'Enabled', 'OK');
CREATE INDEX BootOptionCollectionUri ON Systems('/redfish/v1/Systems/' || Id || '/BootOptions');

CREATE TABLE Managers (Id TEXT PRIMARY KEY, Name TEXT, ManagerType TEXT, Model TEXT,
                       FirmwareVersion TEXT, State TEXT, Health TEXT);
INSERT INTO Managers VALUES
  ('BMC', 'Manager', 'BMC', 'Joo Janta 200', '4.4.6521', 'Enabled', 'OK');

-- The dedicated network ports live in the HMC database; the member query is text, run on the
-- main connection, where that database is attached.
CREATE VIEW ManagerPortCollectionView AS
  SELECT '#PortCollection.PortCollection' AS [@odata.type],
         '/redfish/v1/Managers/' || Id || '/DedicatedNetworkPorts' AS [@odata.id],
         'Dedicated Network Ports' AS Name,
         'select ' || quote('/redfish/v1/Managers/' || Id || '/DedicatedNetworkPorts/') ||
           ' || Id as [@odata.id] from HmcNetworkPorts where ManagerId = ' || quote(Id) ||
           ' order by Id' AS Members
  FROM Managers;
CREATE INDEX ManagerPortCollectionUri ON Managers(
  '/redfish/v1/Managers/' || Id || '/DedicatedNetworkPorts');

-- ---- Sensors of the chassis ---------------------------------------------------------------
-- Every reading above is also a sensor of its chassis, "/redfish/v1/Chassis/<id>/Sensors/<kind>
-- <member>", with its thresholds; its RelatedItem links are those of its Thermal or Power entry
-- (LinkOwner). One row per sensor; a URI's lookup searches each table's own Uri index.
CREATE VIEW SensorRows AS
  SELECT ChassisId, 1 AS KindRank, MemberId, 'Temperature' || MemberId AS Id,
         '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Temperature' || MemberId AS Uri, Name,
         'Temperature' AS ReadingType, 'Cel' AS ReadingUnits, ReadingCelsius AS Reading,
         MinRange AS RangeMin, MaxRange AS RangeMax, PhysicalContext, State, Health,
         UpperNC AS UpperCaution, UpperC AS UpperCritical, UpperF AS UpperFatal,
         LowerNC AS LowerCaution, LowerC AS LowerCritical, LowerF AS LowerFatal,
         '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Temperatures/' || MemberId AS LinkOwner
  FROM TemperatureSensors
  UNION ALL
  SELECT ChassisId, 2, MemberId, 'Fan' || MemberId,
         '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Fan' || MemberId, Name, 'Rotational',
         ReadingUnits, Reading, MinRange, MaxRange, PhysicalContext, State, Health, -1, -1, -1,
         -1, -1, LowerF, '/redfish/v1/Chassis/' || ChassisId || '/Thermal#/Fans/' || MemberId
  FROM FanSensors
  UNION ALL
  SELECT ChassisId, 3, MemberId, 'Voltage' || MemberId,
         '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Voltage' || MemberId, Name, 'Voltage',
         'V', ReadingVolts, MinRange, MaxRange, PhysicalContext, State, Health, UpperNC, UpperC,
         UpperF, LowerNC, LowerC, LowerF,
         '/redfish/v1/Chassis/' || ChassisId || '/Power#/Voltages/' || MemberId
  FROM VoltageSensors
  UNION ALL
  SELECT ChassisId, 4, MemberId, 'Power' || MemberId,
         '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Power' || MemberId, Name, 'Power', 'W',
         ConsumedW, 0, CapacityW, 'PowerSupply', State, Health, -1, -1, -1, -1, -1, -1,
         '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerControl/' || MemberId
  FROM PowerControlSensors;
CREATE INDEX TemperatureSensorUri ON TemperatureSensors(
  '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Temperature' || MemberId);
CREATE INDEX FanSensorUri ON FanSensors(
  '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Fan' || MemberId);
CREATE INDEX VoltageSensorUri ON VoltageSensors(
  '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Voltage' || MemberId);
CREATE INDEX PowerSensorUri ON PowerControlSensors(
  '/redfish/v1/Chassis/' || ChassisId || '/Sensors/Power' || MemberId);

-- ---- The manager's event log --------------------------------------------------------------
CREATE TABLE LogServices (
  ManagerId TEXT NOT NULL, Id TEXT NOT NULL, Name TEXT, Description TEXT, LogEntryType TEXT,
  MaxNumberOfRecords INTEGER, OverWritePolicy TEXT, ServiceEnabled INTEGER, State TEXT,
  Health TEXT, PRIMARY KEY (ManagerId, Id));
INSERT INTO LogServices VALUES
  ('BMC', 'EventLog', 'Event Log', 'Events the manager recorded', 'Event', 10000,
   'WrapsWhenFull', 1, 'Enabled', 'OK');

-- Entries are numbered from 1 in the order recorded; MessageArgs is a JSON array of texts and
-- Origin the URI of the resource the event is about, or NULL.
CREATE TABLE LogEntries (
  ManagerId TEXT NOT NULL, ServiceId TEXT NOT NULL, Id INTEGER NOT NULL, Created TEXT,
  EntryType TEXT, Severity TEXT, MessageId TEXT, Message TEXT, MessageArgs TEXT, Origin TEXT,
  PRIMARY KEY (ManagerId, ServiceId, Id));
INSERT INTO LogEntries VALUES
  ('BMC', 'EventLog', 1, '2023-11-14T22:13:20+00:00', 'Event', 'OK',
   'ResourceEvent.1.3.ResourceCreated', 'The resource has been created successfully.', '[]',
   '/redfish/v1/Systems/437XR1138R2'),
  ('BMC', 'EventLog', 2, '2023-11-14T22:16:20+00:00', 'Event', 'Warning',
   'ResourceEvent.1.3.ResourceStatusChangedWarning',
   'The health of resource ''/redfish/v1/Chassis/1U/PowerSubsystem/PowerSupplies/Bay1'' has changed to Warning.',
   '["/redfish/v1/Chassis/1U/PowerSubsystem/PowerSupplies/Bay1", "Warning"]',
   '/redfish/v1/Chassis/1U/PowerSubsystem/PowerSupplies/Bay1'),
  ('BMC', 'EventLog', 3, '2023-11-14T22:20:00+00:00', 'Event', 'OK',
   'ResourceEvent.1.3.ResourceStatusChangedOK',
   'The health of resource ''/redfish/v1/Chassis/1U/Thermal'' has changed to OK.',
   '["/redfish/v1/Chassis/1U/Thermal", "OK"]', NULL);

COMMIT;
