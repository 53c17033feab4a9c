# The native tree installs the rescue tools and their manual pages
# (cmake --install, under CMAKE_INSTALL_PREFIX) and packs them as a Debian
# package with CPack: cpack -G DEB in the build tree.
include(GNUInstallDirs)
install(TARGETS quellix-scan quellix-restore
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT rescue)
install(FILES ${CMAKE_SOURCE_DIR}/docs/man/quellix-scan.1 ${CMAKE_SOURCE_DIR}/docs/man/quellix-restore.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT rescue)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellix-rescue)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Keldora")
set(CPACK_PACKAGE_CONTACT "Quellix maintainers <quellix@keldora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rescue scanner for W32/OnLineGames and W32/Bagle on a mounted Windows disk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "quellix-scan scans a Windows disk mounted on Linux with the Quellix engine,\n\
removes what it detects and cleans the registry hives of an NT-family\n\
Windows; quellix-restore lists and restores what it kept in the quarantine.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The libraries the programs load (hivex's among them when the build has
# registry cleaning) come from dpkg-shlibdeps when it is there (dpkg-dev);
# without it, from the list the build links.
find_program(QX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
    if(TARGET PkgConfig::HIVEX)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libhivex0")
    endif()
endif()
include(CPack)
