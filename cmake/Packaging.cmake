# Installation and the Debian package. `cmake --install <build>` puts kestrum and
# kestrum-cli in bin/, the desktop entry in share/applications/ and the icon in the hicolor
# theme; `cpack -G DEB` (run in the build folder) builds kestrum_<version>_<arch>.deb.
include(GNUInstallDirs)

if(TARGET kestrum)
  install(TARGETS kestrum RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/gui/kestrum.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/gui/icons/kestrum.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
endif()
if(TARGET kestrum-cli)
  install(TARGETS kestrum-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrum)
set(CPACK_PACKAGE_VENDOR "Kestrum")
set(CPACK_PACKAGE_CONTACT "Kestrum maintainers <maintainers@kestrum.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A desktop program (and a command line) for single-case studies in neuropsychology: "
    "deficit tests on two tasks, the Bayesian and revised standardized difference tests, "
    "and the classification of the case's pattern as a strong or classical dissociation.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries the programs link (Qt 6, the C++ run-time) become the package's
# dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window-system plugins (xcb, wayland) that the libraries above only recommend.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
