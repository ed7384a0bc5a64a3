# The Debian package: `make package` (or `cpack` in the build directory) writes
# kestrel-configure_<project version>_<architecture>.deb from the install rules in packaging/.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel-configure)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KESTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and configure serial-to-Ethernet converter modules")
# Lines of the control file's long description stay under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [=[A desktop window that finds serial-to-Ethernet converter modules on the
local IPv4 segment by a UDP broadcast on port 1500 and sets their network
and serial parameters, in Chinese or English. With kestrel-sim, simulated
modules to try it without hardware, and kestrelctl, the same search and
configuration from the command line.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the Qt 5 runtime packages the programs really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window opens in Chinese: without a CJK font its captions show as empty boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")

include(CPack)
