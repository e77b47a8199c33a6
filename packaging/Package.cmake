# The Debian package of the whole system, made by `cpack -G DEB` in a build folder
# configured with the prefix /usr. Included from the top folder after every deliverable.

set(ALTIREN_PACKAGE_NAME altiren CACHE STRING "Name of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ALTIREN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(ALTIREN_PACKAGE_MAINTAINER "Altiren maintainers <maintainers@altiren.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ALTIREN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network emulator for this workstation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Imposes wide-area network conditions (latency, loss, bandwidth, reordering,
duplication, bit errors, fragmentation, disconnects, congestion) on this
machine's own IP traffic, selected by address filters, and shows live
per-connection statistics.

The package holds the emulation daemon quellin with its systemd unit, the
control library libAltirenAPI with its header, the scenario document library
libFendrel, the utility libraries, the registry store tool altiren-reg and,
where built, the desktop client Pramitone with its help pages.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# Run-time dependencies: the libraries the binaries link, found by dpkg-shlibdeps, and
# what they start without linking it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The maintainer scripts make the access group with addgroup.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
if(TARGET Pramitone)
    # The client opens its help pages and web addresses with the desktop's opener.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()

# Maintainer scripts: the registry store's keys and the daemon's unit.
set(altiren_debian_control)
foreach(script IN ITEMS postinst prerm)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/${script}.in
                   ${CMAKE_BINARY_DIR}/packaging/debian/${script} @ONLY)
    list(APPEND altiren_debian_control ${CMAKE_BINARY_DIR}/packaging/debian/${script})
endforeach()
list(APPEND altiren_debian_control ${CMAKE_CURRENT_LIST_DIR}/debian/postrm
     ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${altiren_debian_control})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
