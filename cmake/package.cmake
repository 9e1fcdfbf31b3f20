# A Debian package of what install.cmake installs, made by `cpack` in the build
# folder (scripts/package.sh does it all): printer-telvar_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME printer-telvar)
set(CPACK_PACKAGE_VENDOR "The Printer Telvar developers")
set(CPACK_PACKAGE_CONTACT "${TELVAR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "evaluation and test tool for RC30x thermal printer controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Printer Telvar connects to an RC30x thermal printer controller over a serial\n\
line. Each button sends a fixed script of controller commands (text\n\
attributes, layout, a receipt, bar codes, QR codes, images, cuts, labels and\n\
the controller's settings) and explains in a log pane what it does; replies\n\
from the controller are shown as they arrive.\n\
\n\
The package also holds telvar-virtual, a virtual controller on a\n\
pseudo-terminal that lists every command it receives and draws the paper as\n\
PNG pages, so that the program can be tried without a printer, and\n\
telvar-run, which runs the buttons' scripts unattended from a command line or\n\
a YAML test plan, judges the controller's replies and writes JUnit reports\n\
for CI systems.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TELVAR_HOMEPAGE}")
# The libraries come from the binaries (dpkg-shlibdeps); the fonts are found
# by family name at run time, so they are named here: the virtual controller
# draws text with DejaVu Sans Mono and CJK characters with Droid Sans Fallback.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-droid-fallback")

include(CPack)
