# What `cmake --install` lays out beside the three programs (desktop entry, icon, manual pages,
# bash completion, Wireshark dissector, copyright and changelog), and the Debian package that
# CPack builds from it (`cmake --build build/release --target package`).

set(TARVO_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TARVO_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
set(TARVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarvo)

# Wireshark loads Lua plugins from <libdir>/wireshark/plugins, on Debian under the multiarch
# folder (tshark -G folders: "Global Lua Plugins").
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TARVO_DEFAULT_LUA_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(TARVO_DEFAULT_LUA_DIR ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
endif()
set(TARVO_WIRESHARK_LUA_DIR ${TARVO_DEFAULT_LUA_DIR}
    CACHE PATH "Wireshark's global Lua plugin folder (relative to the install prefix)")

# Manual pages and the changelog carry the version and are installed compressed, as Debian wants.
find_program(TARVO_GZIP gzip REQUIRED)
set(TARVO_COMPRESSED)
foreach(name man/tarvo.1 man/tarvo-cli.1 man/tarvo-sim.1 changelog)
  configure_file(${TARVO_PACKAGING_DIR}/${name}.in ${TARVO_PACKAGING_OUT}/${name} @ONLY)
  add_custom_command(OUTPUT ${TARVO_PACKAGING_OUT}/${name}.gz
    COMMAND ${TARVO_GZIP} -9nkf ${TARVO_PACKAGING_OUT}/${name}
    DEPENDS ${TARVO_PACKAGING_OUT}/${name} VERBATIM)
  list(APPEND TARVO_COMPRESSED ${TARVO_PACKAGING_OUT}/${name}.gz)
endforeach()
add_custom_target(tarvo-packaging-files ALL DEPENDS ${TARVO_COMPRESSED})

install(FILES ${TARVO_PACKAGING_OUT}/man/tarvo.1.gz ${TARVO_PACKAGING_OUT}/man/tarvo-cli.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TARVO_PACKAGING_OUT}/man/tarvo-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT sim)
install(FILES ${TARVO_PACKAGING_DIR}/tarvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TARVO_PACKAGING_DIR}/tarvo.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TARVO_PACKAGING_DIR}/tarvo-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarvo-cli)
install(FILES ${PROJECT_SOURCE_DIR}/tools/wireshark/tarvo.lua DESTINATION ${TARVO_WIRESHARK_LUA_DIR})
install(FILES ${TARVO_PACKAGING_DIR}/copyright ${TARVO_PACKAGING_OUT}/changelog.gz
  DESTINATION ${TARVO_DOC_DIR})
install(FILES ${TARVO_PACKAGING_DIR}/copyright ${TARVO_PACKAGING_OUT}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvo-sim COMPONENT sim)

# Two binary packages: tarvo (the window, the command line and what goes with them), which every
# installer installs, and tarvo-sim. The simulator answers on whatever network it is started
# on, so it is a test tool that only those who test install.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tarvo sim)
set(CPACK_DEBIAN_TARVO_PACKAGE_NAME tarvo)
set(CPACK_DEBIAN_SIM_PACKAGE_NAME tarvo-sim)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarvo")
set(CPACK_PACKAGE_CONTACT "Tarvo maintainers <maintainers@users.noreply.c-seed-268d40bb.example>")
# Each description's first line is its package's summary.
set(CPACK_DEBIAN_TARVO_DESCRIPTION [=[find and set up IP cameras, NVRs, DVRs and video decoders
Tarvo finds the network video devices on every local network of the computer
(UDP multicast to 233.0.0.1:5250) and works on the one selected: network
parameters, reboot, camera options, NVR output resolution, cloud password,
firmware upload, MAC conflict repair and live H.264/H.265 preview.
.
It comes as a desktop program (tarvo) and a command line (tarvo-cli), with a
Wireshark dissector for the protocol. The device simulator for testing is in
the package tarvo-sim.
.
The installation grants the capability CAP_NET_RAW (with setcap, from
libcap2-bin) to one small helper, /usr/lib/tarvo/tarvo-macwatch, and to
nothing else. The helper reads the sender's MAC address from each discovery
reply frame through a packet socket with a locked filter, gives up the
capability and passes only that on to tarvo and tarvo-cli, so that a normal
user sees the MACs of devices outside the computer's subnet and address
conflicts between devices. It sends nothing. Without it the programs fall
back to the neighbour table.]=])
set(CPACK_DEBIAN_SIM_DESCRIPTION [=[simulated network video devices for testing Tarvo
tarvo-sim plays any number of IP cameras, NVRs, DVRs and video decoders on the
host's addresses: each answers searches (UDP multicast to 233.0.0.1:5250) and
commands on its TCP command port, cameras and NVRs stream a test pattern, and
devices misbehave on demand, to test how Tarvo and other programs cope.
.
It answers on every network interface it finds: run it, and anything that
talks to it, only inside a private network namespace.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TARVO_PACKAGE_RECOMMENDS libcap2-bin)
# Reports (PDF) show Chinese names with a CJK font's glyphs; the libraries come from shlibdeps.
# Qt's own dialogs (open and save a file) speak the window's language with Qt's translations.
set(CPACK_DEBIAN_TARVO_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_TARVO_PACKAGE_SUGGESTS "wireshark | tshark, tarvo-sim")
# The step that grants CAP_NET_RAW to the MAC helper, the one file that has it.
set(CPACK_DEBIAN_TARVO_PACKAGE_CONTROL_EXTRA ${TARVO_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
