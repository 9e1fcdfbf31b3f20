# Installs the built program into a scratch prefix and validates its desktop
# entry (desktop-file-validate, from desktop-file-utils).
add_test(NAME install_desktop_entry
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_check.sh ${CMAKE_BINARY_DIR})
