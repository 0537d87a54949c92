# libmosquitto (the MQTT client of the site agent and of its tests), as PkgConfig::MOSQUITTO.
# Found once at the top, with a global target, so that src/ and tests/ link the same one.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET GLOBAL libmosquitto)
