# What `cmake --install` puts under the prefix, and the release archives that
# `cpack` makes of it: for Linux aerolith-pack-<version>-linux-x86_64.tar.gz
# (the tool and the plain Linux launcher), for Windows
# aerolith-pack-<version>-windows-x64.zip (aerolith-pack.exe and the plain
# Aerolith.Launcher.exe that releases embed their bundles into); each with the
# README and the package config that find_package(AerolithPack) reads.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS aerolith_pack aerolith_launcher RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION .)

get_target_property(AEROLITH_LAUNCHER_NAME aerolith_launcher OUTPUT_NAME)
string(APPEND AEROLITH_LAUNCHER_NAME "${CMAKE_EXECUTABLE_SUFFIX}")
set(config_dir "${CMAKE_INSTALL_LIBDIR}/cmake/AerolithPack")
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/AerolithPackConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/AerolithPackConfig.cmake"
                              INSTALL_DESTINATION "${config_dir}"
                              PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file("${PROJECT_BINARY_DIR}/AerolithPackConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/AerolithPackConfig.cmake"
              "${PROJECT_BINARY_DIR}/AerolithPackConfigVersion.cmake"
        DESTINATION "${config_dir}")

set(CPACK_PACKAGE_NAME aerolith-pack)
set(CPACK_PACKAGE_VENDOR Aerolith)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Aerolith Vantor launcher and its bundle producer")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
