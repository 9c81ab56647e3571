# Builds the sample server's file tree under a path prefix: the five databases from the SQL
# scripts in this directory (with the sqlite3 command-line shell) and the data files of the
# host platform layer, at the places the converter and the platform layer open them.
#
#   sql2json_add_sample_root(<target> <root> [ALL])

# Adds a command that creates db afresh from the given SQL scripts, in order.
function(sql2json_sample_database db)
  set(SQL2JSON_SAMPLE_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  find_program(SQL2JSON_SQLITE3_SHELL sqlite3 REQUIRED)
  get_filename_component(dir ${db} DIRECTORY)
  set(reads)
  set(scripts)
  foreach(script ${ARGN})
    list(APPEND reads ".read ${SQL2JSON_SAMPLE_DIR}/${script}")
    list(APPEND scripts ${SQL2JSON_SAMPLE_DIR}/${script})
  endforeach()
  add_custom_command(OUTPUT ${db}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${db}
    COMMAND ${SQL2JSON_SQLITE3_SHELL} -bail ${db} ${reads}
    DEPENDS ${scripts}
    COMMENT "Creating sample database ${db}"
    VERBATIM)
endfunction()

# Adds a command that copies a file of this directory to dest.
function(sql2json_sample_file source dest)
  set(SQL2JSON_SAMPLE_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  get_filename_component(dir ${dest} DIRECTORY)
  add_custom_command(OUTPUT ${dest}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${SQL2JSON_SAMPLE_DIR}/${source} ${dest}
    DEPENDS ${SQL2JSON_SAMPLE_DIR}/${source}
    VERBATIM)
endfunction()

function(sql2json_add_sample_root target root)
  set(live ${root}/var/run/unifieddatabase/DMLiveObjectDatabase.db)
  set(hmc ${root}/var/run/unifieddatabase/HMC.db)
  set(openapi ${root}/usr/share/redfish/rf_resource_info.db)
  set(metadata ${root}/etc/unifieddatabase/RedfishSchemaMetaData.db)
  set(telemetry ${root}/var/run/telemetryservice/telemetry_timeseries_database.db)
  set(hostdir ${root}/var/lib/sql2json-host)
  set(synctime ${root}/flash/data0/oem_ps/configdbsynctime)
  sql2json_sample_database(${live} live_objects.sql root_views.sql)
  sql2json_sample_database(${hmc} hmc.sql)
  sql2json_sample_database(${openapi} resource_info.sql)
  sql2json_sample_database(${metadata} metadata.sql)
  sql2json_sample_database(${telemetry} telemetry.sql)
  sql2json_sample_file(host/oem_data.json ${hostdir}/oem_data.json)
  sql2json_sample_file(host/heater_state.json ${hostdir}/heater_state.json)
  sql2json_sample_file(configdbsynctime ${synctime})
  set(all)
  if("${ARGN}" STREQUAL "ALL")
    set(all ALL)
  endif()
  add_custom_target(${target} ${all} DEPENDS ${live} ${hmc} ${openapi} ${metadata} ${telemetry}
    ${hostdir}/oem_data.json ${hostdir}/heater_state.json ${synctime})
endfunction()
