# `make deb`: the install tree as a Debian package. Its dependencies are read off the
# binaries by dpkg-shlibdeps, so they follow whatever libraries this machine built against.
set(CPACK_PACKAGE_NAME clipvane)
set(CPACK_PACKAGE_VENDOR "Clipvane")
set(CPACK_PACKAGE_CONTACT "Clipvane support <support@clipvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn video clips into pictures and looping animated GIFs")
set(CPACK_PACKAGE_DESCRIPTION
    "Clipvane opens a video, plays it, and extracts chosen frames as BMP, JPEG,\n\
TIFF or PNG pictures, turns every n-th frame of a range into a 256-colour\n\
animated GIF that keeps the play speed, or blends two pictures with one of\n\
24 transition effects into a looping GIF. clipvane-cli runs the same code\n\
from the command line.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://clipvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tests, benchmarks and fuzzers install nothing; only the programs and their data go in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
