# What `cmake --install` lays out, the way Debian expects it (prefix /usr):
#   lib/<multiarch>/        the control objects and the platform runtime (versioned)
#   lib/<multiarch>/quvo/   the service object, a module the control objects load by ProgID
#   include/quvo/           the control objects' API, the COM binary standard, the OPOS constants
#   lib/<multiarch>/cmake/QUVO, lib/<multiarch>/pkgconfig   find_package(QUVO) and quvo.pc
#   bin/                    quvo and QUVOOPOSPrintSetting (their own folders install them)
#   share/quvo/             Language.ini, OPOSInfo.ini, samples
# plus the system files: the udev rule and the lock directory (tmpfiles.d).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUVO_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/quvo)
set(QUVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/QUVO)

# The libraries an application links, with the header-only targets they carry along.
install(TARGETS quvo_platform quvo_opos quvo_opos_constants quvo_sync
  EXPORT QUVOTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${QUVO_INSTALL_INCLUDEDIR})
install(TARGETS QUVOSO LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quvo)

# The public headers keep their folders, so an application includes "opos/PosPrinterControl.h"
# as this project's own code does.
install(FILES opos/ControlObject.h opos/PosPrinterControl.h opos/CashDrawerControl.h
  DESTINATION ${QUVO_INSTALL_INCLUDEDIR}/opos)
install(FILES platform/com/ComBase.h platform/com/ComPtr.h
  DESTINATION ${QUVO_INSTALL_INCLUDEDIR}/platform/com)
install(FILES constants/OposConstants.h constants/OposPtrConstants.h constants/OposCashConstants.h
  DESTINATION ${QUVO_INSTALL_INCLUDEDIR}/constants)

# find_package(QUVO): QUVO::opos (the control objects) and QUVO::platform.
install(EXPORT QUVOTargets NAMESPACE QUVO:: DESTINATION ${QUVO_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/QUVOConfig.cmake.in ${PROJECT_BINARY_DIR}/QUVOConfig.cmake
  INSTALL_DESTINATION ${QUVO_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QUVOConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QUVOConfig.cmake ${PROJECT_BINARY_DIR}/QUVOConfigVersion.cmake
  DESTINATION ${QUVO_INSTALL_CMAKEDIR})

# pkg-config: `pkg-config --cflags --libs quvo`.
configure_file(cmake/quvo.pc.in ${PROJECT_BINARY_DIR}/quvo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quvo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Data: the files of the utility and of `quvo config`, and the sample entry.
install(FILES data/Language.ini data/OPOSInfo.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/quvo)
install(DIRECTORY data/samples DESTINATION ${CMAKE_INSTALL_DATADIR}/quvo)

# System files, under the prefix so that a staged install stays inside it. The udev rule gives
# USB printers to lp and serial adapters to dialout; the tmpfiles entry makes, at every boot,
# the lock directory that every user's programs share. /etc/quvo is made by the package's
# installation script: it holds the administrator's configuration, which no install owns.
install(FILES packaging/udev/60-quvo.rules DESTINATION lib/udev/rules.d)
install(FILES packaging/tmpfiles/quvo.conf DESTINATION lib/tmpfiles.d)
