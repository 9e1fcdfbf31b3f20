# Only the program is installed, together with what a desktop needs to list it
# in its application menu: the entry and the icon in the hicolor theme under
# the name the entry asks for. Tests, tools and the benchmark stay in the build.
include(GNUInstallDirs)

install(TARGETS printer-telvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/printer-telvar.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/printer-telvar.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/printer-telvar-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME printer-telvar.png)
