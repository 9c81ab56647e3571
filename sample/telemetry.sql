-- Telemetry time-series database: power readings sampled once a minute. The converter opens
-- it on a connection of its own for every statement whose text holds "JSON", so the view
-- that serves the chassis power from it carries JSON in its name.
BEGIN;
-- The series the service samples, one per power control, and their samples. A GET reads the
-- series of one chassis and, for each, the samples of its last 30 minutes: both searched by
-- index, however long the series have grown.
CREATE TABLE PowerSeries (ChassisId TEXT NOT NULL, MemberId TEXT NOT NULL, Name TEXT,
                          PRIMARY KEY (ChassisId, MemberId));
INSERT INTO PowerSeries VALUES ('1U', '0', 'System Input Power');

CREATE TABLE PowerSamples (ChassisId TEXT NOT NULL, MemberId TEXT NOT NULL,
                           Timestamp INTEGER NOT NULL, Watts NUMERIC);
CREATE INDEX PowerSamplesBySeries ON PowerSamples(ChassisId, MemberId, Timestamp);
INSERT INTO PowerSamples VALUES
  ('1U', '0', 1700000000, 280),
  ('1U', '0', 1700000060, 271),
  ('1U', '0', 1700000120, 285),
  ('1U', '0', 1700000180, 489),
  ('1U', '0', 1700000240, 290),
  ('1U', '0', 1700000300, 295),
  ('1U', '0', 1700000360, 298),
  ('1U', '0', 1700000420, 344);

-- The last sample of each series and its statistics over the 30 minutes before it.
CREATE VIEW PowerLastSamples AS
  SELECT * FROM (
    SELECT ChassisId, MemberId, Name,
           (SELECT max(Timestamp) FROM PowerSamples m
            WHERE m.ChassisId = s.ChassisId AND m.MemberId = s.MemberId) AS Timestamp,
           (SELECT Watts FROM PowerSamples m
            WHERE m.ChassisId = s.ChassisId AND m.MemberId = s.MemberId
            ORDER BY Timestamp DESC LIMIT 1) AS Watts
    FROM PowerSeries s)
  WHERE Timestamp IS NOT NULL;

CREATE VIEW PowerWindows AS
  SELECT ChassisId, MemberId, Name, Watts AS LastWatts,
         (SELECT min(Watts) FROM PowerSamples w WHERE w.ChassisId = s.ChassisId
            AND w.MemberId = s.MemberId AND w.Timestamp > s.Timestamp - 1800) AS MinWatts,
         (SELECT max(Watts) FROM PowerSamples w WHERE w.ChassisId = s.ChassisId
            AND w.MemberId = s.MemberId AND w.Timestamp > s.Timestamp - 1800) AS MaxWatts,
         (SELECT CAST(round(avg(Watts)) AS INTEGER) FROM PowerSamples w
            WHERE w.ChassisId = s.ChassisId AND w.MemberId = s.MemberId
            AND w.Timestamp > s.Timestamp - 1800) AS AvgWatts
  FROM PowerLastSamples s;

CREATE VIEW PowerChassis AS SELECT DISTINCT ChassisId FROM PowerSeries;
CREATE INDEX PowerUri ON PowerSeries('/redfish/v1/Chassis/' || ChassisId || '/Power');

CREATE VIEW PowerJSONView AS
  SELECT '/redfish/v1/Chassis/' || ChassisId || '/Power' AS [@odata.id],
         json_object(
           '@odata.type', '#Power.v1_7_3.Power',
           '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Power',
           'Id', 'Power', 'Name', 'Power',
           'PowerControl', json((SELECT json_group_array(json_object(
             '@odata.id', '/redfish/v1/Chassis/' || ChassisId || '/Power#/PowerControl/' || MemberId,
             'MemberId', MemberId, 'Name', Name, 'PowerConsumedWatts', LastWatts,
             'PowerMetrics', json_object('IntervalInMin', 30, 'MinConsumedWatts', MinWatts,
                                         'MaxConsumedWatts', MaxWatts,
                                         'AverageConsumedWatts', AvgWatts)))
             FROM (SELECT * FROM PowerWindows w WHERE w.ChassisId = c.ChassisId ORDER BY MemberId))),
           'PowerControl@odata.count',
             (SELECT count(*) FROM PowerSeries s WHERE s.ChassisId = c.ChassisId)) AS root
  FROM PowerChassis c;
COMMIT;
