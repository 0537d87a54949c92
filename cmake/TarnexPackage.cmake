# The Debian package of the console, tarnexctl and the display simulator (scripts/package):
# what `cmake --install` puts under /usr, with the shared-library dependencies that
# dpkg-shlibdeps finds in the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnex-manager)
set(CPACK_PACKAGE_VENDOR "Tarnex Manager developers")
set(CPACK_PACKAGE_CONTACT "Tarnex Manager developers <tarnex-manager@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for a fleet of projectors and large displays")
set(CPACK_PACKAGE_DESCRIPTION
    "One operator logs in, arranges the displays in a tree of single displays
and named groups, and controls them over TCP (one connection per display)
or one RS-232 line: power, input, mute, picture, aspect, 3D and lamp mode,
for one display or a whole group at once. In the background it reconnects
lost displays and keeps a dated history report.
.
For scripting, tarnexctl runs one command (list, status, power, input,
mute, message, backup, restore or send) against displays named by
address, label, group or set number, and tells the outcome by its exit
status and, on request, in one JSON document. While the console runs,
the request goes through the console's own connections.
.
tarnex-agent runs the same work without a window for one site and shows
its displays on an MQTT broker (states, commands, Home Assistant
discovery); a window can then work over the agent.
.
The package also holds display-sim, which plays displays on loopback
addresses for trials and demonstrations.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a Qt platform plug-in, which no program links directly.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The site agent's broker may run on this machine or another; libmosquitto itself comes with
# the agent's shared-library dependencies.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mosquitto")
if(TARNEX_DEBIAN_FILES)
  # /etc/default/tarnex-agent is the site's to edit: an upgrade keeps its changes.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/data/debian/conffiles)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()
include(CPack)
