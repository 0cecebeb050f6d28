# The Debian package: `cpack --config CPackConfig.cmake` in a normal build writes package/vellorin_2.0.0_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellorin)
set(CPACK_PACKAGE_VENDOR Tarvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Write mathematics questions and register them on a question bank")
set(CPACK_PACKAGE_DESCRIPTION
    "Vellorin is the desktop program with which the editors of a mathematics question bank register questions
on the bank's web server: write the question, its answer and its explanation with formulas, tables and
pictures, fill in the category's details and save. Stored questions can be found, loaded back and deleted.
Documents are exchanged in the word processor's HWP 5.0 format. The package also holds vellorin-devserver,
a local question-bank server for training and offline work.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 0)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvix <vellorin@tarvix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The shared libraries the programs link are found by dpkg-shlibdeps. What is only opened at run time it
# cannot see: the Korean faces documents are drawn in, the face fontconfig falls back to for the corner brackets
# ｢ ｣ those lack, the math font the formula engine loads by its path and the certificate authorities the
# server's certificate is checked against. Qt's SVG library (libqt6svg6) draws the icons and is linked, so it is
# found.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-nanum, fonts-nanum-extra, fonts-sawarabi-gothic, fonts-dejavu-extra, qt6-translations-l10n, ca-certificates")

include(CPack)
