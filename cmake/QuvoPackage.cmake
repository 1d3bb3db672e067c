# The Debian package (`make package`, CPack's DEB generator): one package, quvo, holding what
# cmake/QuvoInstall.cmake lays out, with maintainer scripts that make /etc/quvo and the lock
# directory, register the service object per machine and unregister it on removal.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quvo)
set(CPACK_PACKAGE_VENDOR "QUVO")
set(CPACK_PACKAGE_CONTACT "QUVO developers <dev@quvo.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OPOS service object and control objects for ESC/POS receipt printers")
set(CPACK_PACKAGE_DESCRIPTION
  "Point-of-sale applications drive ESC/POS receipt printers and the cash\n"
  "drawers wired to them through the OPOS device model: the POSPrinter and\n"
  "CashDrawer control objects and the QUVOSO service object, on serial,\n"
  "parallel, USB, TCP/IP or file ports, with status monitoring and events.\n"
  "Also the quvo command, the QUVOOPOSPrintSetting configuration utility,\n"
  "a virtual printer, the C++ headers and a Python module.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The paths compiled into the programs are the install prefix's (/usr for the package, as
# `make build` configures it).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quvo.example.org/")
# Dependencies from the binaries themselves (dpkg-shlibdeps), plus the interpreter the
# Python module is built for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11~)")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(QUVO_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${QUVO_DEBIAN_DIR}/postinst ${QUVO_DEBIAN_DIR}/prerm ${QUVO_DEBIAN_DIR}/postrm
  ${QUVO_DEBIAN_DIR}/triggers)

# Every Debian package carries its copyright and a compressed changelog.
set(QUVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quvo)
install(FILES ${QUVO_DEBIAN_DIR}/copyright DESTINATION ${QUVO_DOC_DIR})
set(QUVO_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${QUVO_CHANGELOG_GZ}
  COMMAND gzip -9 -n -c ${QUVO_DEBIAN_DIR}/changelog > ${QUVO_CHANGELOG_GZ}
  DEPENDS ${QUVO_DEBIAN_DIR}/changelog)
add_custom_target(quvo_changelog ALL DEPENDS ${QUVO_CHANGELOG_GZ})
install(FILES ${QUVO_CHANGELOG_GZ} DESTINATION ${QUVO_DOC_DIR})
# The examples an application starts from.
install(DIRECTORY examples/ DESTINATION ${QUVO_DOC_DIR}/examples)

include(CPack)
