# Installs the built program into a scratch prefix and validates its desktop
# entry (desktop-file-validate, from desktop-file-utils).
add_test(NAME install_desktop_entry
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_check.sh ${CMAKE_BINARY_DIR})

# Makes the Debian package from this build into a scratch folder and checks its
# contents, dependencies, metainfo and manual pages, and runs lintian on it.
add_test(NAME package_deb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(package_deb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
