-- Telemetry time-series database: power readings sampled once a minute. The converter opens
-- it on a connection of its own for every statement whose text holds "JSON", so the view
-- that serves the chassis power from it carries JSON in its name.
BEGIN;
CREATE TABLE PowerSamples (ChassisId TEXT, MemberId TEXT, Name TEXT, Timestamp INTEGER,
                           Watts NUMERIC);
INSERT INTO PowerSamples VALUES
  ('1U', '0', 'System Input Power', 1700000000, 280),
  ('1U', '0', 'System Input Power', 1700000060, 271),
  ('1U', '0', 'System Input Power', 1700000120, 285),
  ('1U', '0', 'System Input Power', 1700000180, 489),
  ('1U', '0', 'System Input Power', 1700000240, 290),
  ('1U', '0', 'System Input Power', 1700000300, 295),
  ('1U', '0', 'System Input Power', 1700000360, 298),
  ('1U', '0', 'System Input Power', 1700000420, 344);

-- The last sample of each power control and its statistics over the 30 minutes before it.
CREATE VIEW PowerWindows AS
  SELECT s.ChassisId, s.MemberId, s.Name, s.Watts AS LastWatts,
         (SELECT min(Watts) FROM PowerSamples w WHERE w.ChassisId = s.ChassisId
            AND w.MemberId = s.MemberId AND w.Timestamp > s.Timestamp - 1800) AS MinWatts,
         (SELECT max(Watts) FROM PowerSamples w WHERE w.ChassisId = s.ChassisId
            AND w.MemberId = s.MemberId AND w.Timestamp > s.Timestamp - 1800) AS MaxWatts,
         (SELECT CAST(round(avg(Watts)) AS INTEGER) FROM PowerSamples w
            WHERE w.ChassisId = s.ChassisId AND w.MemberId = s.MemberId
            AND w.Timestamp > s.Timestamp - 1800) AS AvgWatts
  FROM PowerSamples s
  WHERE s.Timestamp = (SELECT max(Timestamp) FROM PowerSamples l
                       WHERE l.ChassisId = s.ChassisId AND l.MemberId = s.MemberId);

CREATE VIEW PowerJSONView AS
  SELECT '/redfish/v1/Chassis/' || ChassisId || '/Power' AS [@odata.id],
         json_object(
           '@odata.type', '#Power.v1_7_3.Power',
           '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Power',
           'Id', 'Power', 'Name', 'Power',
           'PowerControl', json_group_array(json_object(
             '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerControl/' || MemberId,
             'MemberId', MemberId, 'Name', Name, 'PowerConsumedWatts', LastWatts,
             'PowerMetrics', json_object('IntervalInMin', 30, 'MinConsumedWatts', MinWatts,
                                         'MaxConsumedWatts', MaxWatts,
                                         'AverageConsumedWatts', AvgWatts))),
           'PowerControl@odata.count', count(*)) AS root
  FROM PowerWindows GROUP BY ChassisId;
COMMIT;
