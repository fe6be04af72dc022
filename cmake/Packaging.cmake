# A Debian package of the installed tree: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME hoplark)
set(CPACK_PACKAGE_VENDOR "The Hoplark developers")
set(CPACK_PACKAGE_CONTACT "The Hoplark developers <hoplark@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trace-route grapher for the desktop")
# One string: separate arguments would make a list, whose ";" would show in the description.
set(CPACK_PACKAGE_DESCRIPTION
    "Hoplark measures every router on the path to a host, round after round, and
shows one row per hop with its losses, address, name and round-trip times
beside a latency graph. A report mode prints the same trace as text, CSV or
JSON without a window.")
# No Homepage field until the project has a page of its own.
set(CPACK_PACKAGE_INSTALL_DIRECTORY hoplark)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The first packaging of this upstream version; the Debian changelog names the same version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(HOPLARK_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
# The package carries no symbols; a debugger reads them from the build folder.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries follow from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap for the ICMP permission; the Wayland platform plugin, without which a Wayland desktop
# runs the window through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The licence in the machine-readable form Debian reads, and the package's changelog, compressed
# the reproducible way Debian expects (best compression, no name or time stamp).
set(HOPLARK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/hoplark)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/deb/copyright DESTINATION ${HOPLARK_DOC_DIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/deb/changelog.in
               ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
hoplark_gzip(${CMAKE_BINARY_DIR}/packaging/changelog.Debian
             ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz hoplark_deb_changelog)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${HOPLARK_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/deb/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME hoplark)

include(CPack)
