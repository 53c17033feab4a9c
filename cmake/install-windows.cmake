# A Windows tree installs its own width's programs into x64/ or x86/ with the
# short text readme. The x64 tree also takes in the x86 tree's programs
# (QX_PACKAGE_X86_BIN), so its install holds both widths, and packs that as
# the ZIP users download: cpack -G ZIP in build/win64.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(qx_width x64)
else()
    set(qx_width x86)
endif()
install(TARGETS quellix quellix-scan quellix-restore RUNTIME DESTINATION ${qx_width} COMPONENT windows)
# Notepad of the older Windows shows only CRLF line ends as lines.
set(qx_readme ${CMAKE_BINARY_DIR}/package/README.txt)
configure_file(${CMAKE_SOURCE_DIR}/docs/windows-package-readme.txt ${qx_readme} @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${qx_readme} DESTINATION . COMPONENT windows)

if(qx_width STREQUAL x64)
    set(QX_PACKAGE_X86_BIN ${CMAKE_SOURCE_DIR}/build/win32/bin CACHE PATH
        "bin folder of the x86 tree, whose programs the x64 tree's install and ZIP take in")
    set(qx_x86_programs ${QX_PACKAGE_X86_BIN}/quellix.exe ${QX_PACKAGE_X86_BIN}/quellix-scan.exe
                        ${QX_PACKAGE_X86_BIN}/quellix-restore.exe)
    install(CODE "
        foreach(program ${qx_x86_programs})
            if(NOT EXISTS \${program})
                message(FATAL_ERROR \"\${program} is missing: the package holds both widths; \"
                    \"build the x86 tree first, or set QX_PACKAGE_X86_BIN to its bin folder\")
            endif()
        endforeach()" COMPONENT windows)
    install(PROGRAMS ${qx_x86_programs} DESTINATION x86 COMPONENT windows)
    # Stripped as CMake strips the targets (cmake --install --strip, CPACK_STRIP_FILES).
    find_program(QX_X86_STRIP NAMES i686-w64-mingw32-strip)
    set(qx_x86_strip ${CMAKE_STRIP})
    if(QX_X86_STRIP)
        set(qx_x86_strip ${QX_X86_STRIP})
    endif()
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(program quellix.exe quellix-scan.exe quellix-restore.exe)
                set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/x86/\${program}\")
                execute_process(COMMAND \"${qx_x86_strip}\" \"\${installed}\" RESULT_VARIABLE failed)
                if(failed)
                    message(FATAL_ERROR \"cannot strip \${installed}\")
                endif()
            endforeach()
        endif()" COMPONENT windows)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME quellix)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_FILE_NAME quellix-${PROJECT_VERSION}-windows)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_STRIP_FILES ON)
    include(CPack)
endif()
