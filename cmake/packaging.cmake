# Install rules and the Debian package. scripts/package builds the programs
# and the package files, then runs cpack, which makes
# qorvantis_<version>_<arch>.deb from these rules.
include(GNUInstallDirs)

set(BENCH_VERSION 2.02)
set(BENCH_MAINTAINER "Qorvantis developers <bench@qorvantis.example>")
set(pkg_src ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(pkg_out ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/qorvantis)

# The programs that are there; the command-line tool joins when it is built.
foreach(program qorvantis bench-sim qorvantis-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages and the changelog go compressed (gzip -n: no time stamp, so
# the package is the same from one build to the next); the icon is drawn
# once as SVG and rendered at the sizes desktops ask for.
set(generated "")
foreach(page qorvantis bench-sim qorvantis-cli)
  if(EXISTS ${pkg_src}/${page}.1 AND (TARGET ${page} OR page STREQUAL "qorvantis"))
    add_custom_command(OUTPUT ${pkg_out}/${page}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_out}
      COMMAND gzip -9n -c ${pkg_src}/${page}.1 > ${pkg_out}/${page}.1.gz
      DEPENDS ${pkg_src}/${page}.1 VERBATIM)
    list(APPEND generated ${pkg_out}/${page}.1.gz)
    install(FILES ${pkg_out}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_command(OUTPUT ${pkg_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_out}
  COMMAND gzip -9n -c ${pkg_src}/changelog > ${pkg_out}/changelog.gz
  DEPENDS ${pkg_src}/changelog VERBATIM)
list(APPEND generated ${pkg_out}/changelog.gz)
set(icon_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
find_program(BENCH_RSVG rsvg-convert)
if(BENCH_RSVG)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${pkg_out}/icons/${size}/qorvantis.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_out}/icons/${size}
      COMMAND ${BENCH_RSVG} -w ${size} -h ${size} ${pkg_src}/qorvantis.svg -o ${png}
      DEPENDS ${pkg_src}/qorvantis.svg VERBATIM)
    list(APPEND generated ${png})
    install(FILES ${png} DESTINATION ${icon_dir}/${size}x${size}/apps)
  endforeach()
endif()
add_custom_target(package-files ALL DEPENDS ${generated})

install(FILES ${pkg_src}/qorvantis.svg DESTINATION ${icon_dir}/scalable/apps)
install(FILES ${pkg_src}/qorvantis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg_src}/copyright ${pkg_out}/changelog.gz DESTINATION ${doc_dir})

# cpack installs what scripts/package built, without building everything
# (the tests) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qorvantis)
set(CPACK_PACKAGE_VERSION ${BENCH_VERSION})
set(CPACK_PACKAGE_VENDOR "Qorvantis developers")
set(CPACK_PACKAGE_CONTACT ${BENCH_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "heat-meter test bench program")
set(CPACK_PACKAGE_DESCRIPTION
  "Verifies, calibrates and configures up to 20 ultrasonic heat meters on a flow\n"
  "test bench over serial lines: flow and overall detection, meter parameters,\n"
  "metering data and clock setting, with an operation log of every frame.\n"
  "Includes bench-sim, a virtual bench of meters on pseudo-terminals.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${BENCH_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt, libxlsxwriter, cairo, pango and C++ runtime packages, from the
# libraries the programs link; and the fonts the verification records are
# set in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
