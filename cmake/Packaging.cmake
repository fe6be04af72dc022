# A Debian package of the installed tree: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME hoplark)
set(CPACK_PACKAGE_VENDOR "The Hoplark developers")
set(CPACK_PACKAGE_CONTACT "The Hoplark developers <hoplark@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trace-route grapher for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Hoplark measures every router on the path to a host, round after round, and shows one\n"
    "row per hop with its losses, address, name and round-trip times beside a latency graph.\n"
    "A report mode prints the same trace as text, CSV or JSON without a window.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://hoplark.example.org/")
set(CPACK_PACKAGE_INSTALL_DIRECTORY hoplark)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries follow from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap for the ICMP permission; the Wayland platform plugin, without which a Wayland desktop
# runs the window through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
