# Platform layer helpers. A module of the platform layer is a header plus one
# source per platform, told apart by suffix: name_win.cpp or name_posix.cpp.
if(WIN32)
  set(AEROLITH_PLATFORM_SUFFIX win)
else()
  set(AEROLITH_PLATFORM_SUFFIX posix)
endif()

# aerolith_platform_sources(<target> <dir> <module>...): adds
# <dir>/<module>_<suffix>.cpp for each module to <target>.
function(aerolith_platform_sources target dir)
  foreach(module IN LISTS ARGN)
    target_sources(${target} PRIVATE "${dir}/${module}_${AEROLITH_PLATFORM_SUFFIX}.cpp")
  endforeach()
endfunction()

# Windows programs with a wide entry point (wmain or wWinMain); GUI ones also
# get no console window.
function(aerolith_windows_unicode target)
  if(WIN32)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()
function(aerolith_windows_gui target)
  if(WIN32)
    target_link_options(${target} PRIVATE -mwindows -municode)
  endif()
endfunction()

# aerolith_windows_resources(<target> DESCRIPTION <text> FILENAME <name>):
# gives a Windows program its manifest (asInvoker, Common Controls 6, DPI and
# long-path awareness), icon and version information.
function(aerolith_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(arg "" "DESCRIPTION;FILENAME" "" ${ARGN})
  set(resources "${PROJECT_SOURCE_DIR}/src/launcher/resources")
  set(AEROLITH_LAUNCHER_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  set(AEROLITH_ICON "${resources}/aerolith.ico")
  set(AEROLITH_FILE_DESCRIPTION "${arg_DESCRIPTION}")
  set(AEROLITH_ORIGINAL_FILENAME "${arg_FILENAME}")
  get_filename_component(AEROLITH_INTERNAL_NAME "${arg_FILENAME}" NAME_WLE)
  configure_file("${resources}/launcher.manifest.in" "${AEROLITH_LAUNCHER_MANIFEST}" @ONLY)
  configure_file("${resources}/launcher.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
endfunction()

# Windows programs of this tree run under Wine in a prefix of the tree's own,
# through the emulator script named by the toolchain file.
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(AEROLITH_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  configure_file("${PROJECT_SOURCE_DIR}/scripts/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run"
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                 GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
