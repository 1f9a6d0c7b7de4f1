# Installation and the Debian package. `cmake --install <build>` puts kestrum and
# kestrum-cli in bin/, their man pages, the desktop entry, the AppStream metainfo and the
# icon in share/, and the copyright and changelog in share/doc/kestrum/; `cpack -G DEB`
# (run in the build folder) builds kestrum_<version>_<arch>.deb.
include(GNUInstallDirs)

set(KESTRUM_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrum)
set(KESTRUM_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTRUM_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KESTRUM_GENERATED_DIR})

# gzip -9n: the best compression and no time stamp, as Debian's policy asks.
function(kestrum_gzip output input)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${input} > ${output}
    DEPENDS ${input} VERBATIM)
endfunction()

set(kestrum_generated
    ${KESTRUM_GENERATED_DIR}/changelog.gz ${KESTRUM_GENERATED_DIR}/kestrum.1.gz)
kestrum_gzip(${KESTRUM_GENERATED_DIR}/changelog.gz ${KESTRUM_PACKAGING_DIR}/changelog)
kestrum_gzip(${KESTRUM_GENERATED_DIR}/kestrum.1.gz ${KESTRUM_PACKAGING_DIR}/kestrum.1)

# The kestrum-cli man page, generated from its --help and --version.
find_program(KESTRUM_HELP2MAN help2man)
if(TARGET kestrum-cli)
  if(KESTRUM_HELP2MAN)
    add_custom_command(OUTPUT ${KESTRUM_GENERATED_DIR}/kestrum-cli.1
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1796716800
              ${KESTRUM_HELP2MAN} --no-info --section=1
              "--name=single-case tests for dissociations, from the command line"
              --output=${KESTRUM_GENERATED_DIR}/kestrum-cli.1 $<TARGET_FILE:kestrum-cli>
      DEPENDS kestrum-cli VERBATIM)
    kestrum_gzip(${KESTRUM_GENERATED_DIR}/kestrum-cli.1.gz ${KESTRUM_GENERATED_DIR}/kestrum-cli.1)
    list(APPEND kestrum_generated ${KESTRUM_GENERATED_DIR}/kestrum-cli.1.gz)
    install(FILES ${KESTRUM_GENERATED_DIR}/kestrum-cli.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(WARNING "help2man not found: the kestrum-cli man page is not built "
                    "(scripts/setup.sh installs it)")
  endif()
endif()
add_custom_target(kestrum_packaging_files ALL DEPENDS ${kestrum_generated})

if(TARGET kestrum)
  install(TARGETS kestrum RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/gui/kestrum.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/gui/icons/kestrum.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
  install(FILES ${KESTRUM_PACKAGING_DIR}/org.kestrum.Kestrum.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${KESTRUM_GENERATED_DIR}/kestrum.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET kestrum-cli)
  install(TARGETS kestrum-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${KESTRUM_PACKAGING_DIR}/copyright ${KESTRUM_GENERATED_DIR}/changelog.gz
        DESTINATION ${KESTRUM_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrum)
set(CPACK_PACKAGE_VENDOR "Kestrum")
set(CPACK_PACKAGE_CONTACT "Kestrum maintainers <maintainers@kestrum.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Lines of at most 80 characters, as Debian's control files want them; CPack puts the
# summary above them.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop program and a command line for single-case studies in\n"
    "neuropsychology: deficit tests on two tasks, the Bayesian and revised\n"
    "standardized difference tests, and the classification of the case's\n"
    "pattern as a strong or classical dissociation.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries the programs link (Qt 6, the C++ run-time) become the package's
# dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window-system plugins (xcb, wayland) that the libraries above only recommend.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
