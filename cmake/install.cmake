# The three programs are installed, together with what a desktop needs to list
# the window program in its application menu (the entry and the icon in the
# hicolor theme under the name the entry asks for), what a software centre
# reads (the AppStream metainfo) and their manual pages. Tests, tools and the
# benchmark stay in the build.
include(GNUInstallDirs)

# The AppStream id, in reverse-DNS form; the desktop entry and the metainfo
# file are named after it.
set(TELVAR_APP_ID org.telvar.PrinterTelvar)
set(TELVAR_HOMEPAGE "https://telvar.org/printer-telvar/")
set(TELVAR_MAINTAINER "The Printer Telvar developers <developers@telvar.org>")
# No licence has been chosen for the program yet (see packaging/copyright.in).
set(TELVAR_LICENSE LicenseRef-proprietary)

install(TARGETS printer-telvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET telvar-virtual)
    install(TARGETS telvar-virtual RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS telvar-run RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/${TELVAR_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/printer-telvar.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/printer-telvar-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME printer-telvar.png)

# The version and its date come from the top-level CMakeLists.txt into the
# metainfo's release, the manual pages' footer and the package's changelog.
execute_process(COMMAND date -u -R -d "${TELVAR_RELEASE_DATE}"
                OUTPUT_VARIABLE TELVAR_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(telvar_docs ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/resources/${TELVAR_APP_ID}.metainfo.xml.in
               ${telvar_docs}/${TELVAR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${telvar_docs}/${TELVAR_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${telvar_docs}/copyright @ONLY)
install(FILES ${telvar_docs}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/printer-telvar)

# Manual pages and the changelog go in compressed the way Debian wants them:
# gzip -9 without a name or time stamp, so that the same sources give the same
# bytes.
set(telvar_gzipped)
foreach(page printer-telvar.1 telvar-virtual.1 telvar-run.1)
    configure_file(${PROJECT_SOURCE_DIR}/man/${page}.in ${telvar_docs}/${page} @ONLY)
    list(APPEND telvar_gzipped ${telvar_docs}/${page}.gz)
    install(FILES ${telvar_docs}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${telvar_docs}/changelog @ONLY)
list(APPEND telvar_gzipped ${telvar_docs}/changelog.gz)
install(FILES ${telvar_docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/printer-telvar)
foreach(gzipped ${telvar_gzipped})
    string(REGEX REPLACE "\\.gz$" "" plain ${gzipped})
    add_custom_command(OUTPUT ${gzipped}
                       COMMAND gzip -9nkf ${plain}
                       DEPENDS ${plain}
                       VERBATIM)
endforeach()
add_custom_target(telvar_docs ALL DEPENDS ${telvar_gzipped})

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
