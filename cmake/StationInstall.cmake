# What `cmake --install` puts in place, and the Debian package CPack makes of it.
#
# The program folder is <prefix>/lib/sensorbus-station: the program, its workbook reader and
# the alarm sound, read-only. The station keeps its database and settings beside the program,
# and operators who are not root must be able to write them: there they are links into the
# data folder <localstatedir>/lib/sensorbus-station (/var/lib/sensorbus-station for /usr),
# which belongs to the group dialout, the group every operator of a serial port is in already.
# The data files themselves are made from templates in <prefix>/share/sensorbus-station when
# missing, and never replaced: not by a new install, not by an upgrade of the package.
include(GNUInstallDirs)
# Packaging and installing take what the build made; they do not build the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(STATION_PACKAGE sensorbus-station)
set(STATION_PROGRAM_DIR lib/${STATION_PACKAGE})
set(STATION_TEMPLATE_FULL_DIR ${CMAKE_INSTALL_FULL_DATADIR}/${STATION_PACKAGE})
set(STATION_TEMPLATE_DIR ${CMAKE_INSTALL_DATADIR}/${STATION_PACKAGE})
set(STATION_DATA_DIR ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/${STATION_PACKAGE})
set(STATION_OPERATOR_GROUP dialout)

# The empty database and the first settings as templates (never the build's own copies,
# which a developer's runs have filled).
set(STATION_TEMPLATES ${CMAKE_BINARY_DIR}/templates)
add_custom_command(
  OUTPUT ${STATION_TEMPLATES}/newdb.mdb
  COMMAND ${CMAKE_COMMAND} -E rm -f ${STATION_TEMPLATES}/newdb.mdb
  COMMAND ${CMAKE_COMMAND} -DSQLITE3=${SQLITE3} -DSCHEMA=${CMAKE_SOURCE_DIR}/storage/schema.sql
          -DOUT=${STATION_TEMPLATES}/newdb.mdb -P ${CMAKE_SOURCE_DIR}/storage/MakeDatabase.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/storage/schema.sql
  COMMENT "Empty station database for installing"
  VERBATIM)
add_custom_target(station_templates ALL DEPENDS ${STATION_TEMPLATES}/newdb.mdb)

# Program folder.
install(TARGETS station station-xls-reader station-history DESTINATION ${STATION_PROGRAM_DIR} COMPONENT program)
install(FILES ${STATION_BIN_DIR}/Alarm.wav DESTINATION ${STATION_PROGRAM_DIR} COMPONENT program)
# The links beside the program, relative so that they also hold inside a staging root. The
# reading history is made by the station itself on first use, through its link.
file(RELATIVE_PATH STATION_DATA_FROM_PROGRAM ${CMAKE_INSTALL_PREFIX}/${STATION_PROGRAM_DIR}
     ${STATION_DATA_DIR})
set(STATION_LINKS ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${STATION_LINKS})
foreach(f newdb.mdb peizhi.ini history.db)
  file(CREATE_LINK ${STATION_DATA_FROM_PROGRAM}/${f} ${STATION_LINKS}/${f} SYMBOLIC)
  install(FILES ${STATION_LINKS}/${f} DESTINATION ${STATION_PROGRAM_DIR} COMPONENT program)
endforeach()
file(RELATIVE_PATH STATION_PROGRAM_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${STATION_PROGRAM_DIR})
file(CREATE_LINK ${STATION_PROGRAM_FROM_BIN}/station ${STATION_LINKS}/${STATION_PACKAGE} SYMBOLIC)
install(FILES ${STATION_LINKS}/${STATION_PACKAGE} DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT program)

# Templates of the data files.
install(FILES ${STATION_TEMPLATES}/newdb.mdb ${CMAKE_SOURCE_DIR}/resources/peizhi.ini
        DESTINATION ${STATION_TEMPLATE_DIR} COMPONENT program)

# Launcher and icon.
configure_file(${CMAKE_SOURCE_DIR}/resources/sensorbus-station.desktop.in
               ${CMAKE_BINARY_DIR}/${STATION_PACKAGE}.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${STATION_PACKAGE}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
        COMPONENT program)

# The operator guide.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program
        OPTIONAL)

# The data folder and its files, made as the package's set-up makes them. Not part of the
# package itself (dpkg would replace them on every upgrade): there its set-up script does this.
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/postinst.in ${CMAKE_BINARY_DIR}/deb/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/postrm.in ${CMAKE_BINARY_DIR}/deb/postrm @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    execute_process(COMMAND sh ${CMAKE_BINARY_DIR}/deb/postinst configure RESULT_VARIABLE rc)
  else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DPKG_ROOT=\$ENV{DESTDIR}
                            sh ${CMAKE_BINARY_DIR}/deb/postinst configure RESULT_VARIABLE rc)
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR \"could not set up ${STATION_DATA_DIR}\")
  endif()" COMPONENT data)

# Debian package: the program component only, with its set-up scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${STATION_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Station maintainers <station@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitoring station for a bus of digital temperature sensors")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME ${STATION_PACKAGE})
set(CPACK_COMPONENTS_ALL program)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb/postinst ${CMAKE_BINARY_DIR}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Run-time dependencies only: the list scripts/install-deps.sh --runtime installs.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/runtime-packages.txt lines ENCODING UTF-8)
set(deps)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line)
    list(APPEND deps ${line})
  endif()
endforeach()
list(JOIN deps ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
include(CPack)
