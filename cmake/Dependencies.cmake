# Third-party libraries as imported targets with the same names on both
# platforms: aerolith::fmt, aerolith::zstd (decoder), aerolith::zstd_encoder,
# GTest::gtest_main, GTest::gmock and (native only) benchmark::benchmark.

set(AEROLITH_THIRD_PARTY_DIR "${PROJECT_SOURCE_DIR}/third_party" CACHE PATH
    "Folder holding sources that Debian does not package for mingw (scripts/bootstrap fills it)")

if(NOT CMAKE_CROSSCOMPILING)
  find_package(fmt REQUIRED)
  find_package(zstd REQUIRED)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  add_library(aerolith_fmt INTERFACE)
  add_library(aerolith_zstd INTERFACE)
  if(AEROLITH_SANITIZE OR AEROLITH_FUZZ)
    target_link_libraries(aerolith_fmt INTERFACE fmt::fmt)
    target_link_libraries(aerolith_zstd INTERFACE zstd::libzstd_shared)
  else()
    # Binding libstdc++, fmt and zstd at every start costs a start on an intact
    # installation more than all its own work: a release build links them in.
    target_link_libraries(aerolith_fmt INTERFACE fmt::fmt-header-only)
    target_link_libraries(aerolith_zstd INTERFACE zstd::libzstd_static)
    add_link_options(-static-libstdc++ -static-libgcc)
  endif()
  add_library(aerolith::fmt ALIAS aerolith_fmt)
  add_library(aerolith::zstd ALIAS aerolith_zstd)
  add_library(aerolith::zstd_encoder ALIAS aerolith_zstd)
  return()
endif()

# fmt, header-only. Its headers are copied into a folder of their own: adding
# /usr/include to a mingw include path would pull in the host's C library.
set(AEROLITH_FMT_SOURCE_DIR "/usr/include/fmt" CACHE PATH "fmt headers to use header-only")
set(fmt_only_dir "${CMAKE_BINARY_DIR}/fmt-only")
file(COPY "${AEROLITH_FMT_SOURCE_DIR}" DESTINATION "${fmt_only_dir}")
add_library(aerolith_fmt INTERFACE)
target_include_directories(aerolith_fmt SYSTEM INTERFACE "${fmt_only_dir}")
target_compile_definitions(aerolith_fmt INTERFACE FMT_HEADER_ONLY)
add_library(aerolith::fmt ALIAS aerolith_fmt)

# zstd from Debian's source package: the decoder for the launcher, the encoder
# only for the bundle producer.
set(zstd_lib "${AEROLITH_THIRD_PARTY_DIR}/zstd/lib")
if(NOT EXISTS "${zstd_lib}/zstd.h")
  message(FATAL_ERROR "zstd sources missing in ${zstd_lib}: run scripts/bootstrap")
endif()
file(GLOB zstd_common_sources "${zstd_lib}/common/*.c")
file(GLOB zstd_decompress_sources "${zstd_lib}/decompress/*.c")
file(GLOB zstd_compress_sources "${zstd_lib}/compress/*.c")
add_library(aerolith_zstd STATIC ${zstd_common_sources} ${zstd_decompress_sources})
target_include_directories(aerolith_zstd SYSTEM PUBLIC "${zstd_lib}")
target_compile_definitions(aerolith_zstd PRIVATE ZSTD_DISABLE_ASM ZSTD_MULTITHREAD=0)
target_compile_options(aerolith_zstd PRIVATE -w)
add_library(aerolith_zstd_encoder STATIC ${zstd_compress_sources})
target_link_libraries(aerolith_zstd_encoder PUBLIC aerolith_zstd)
target_compile_options(aerolith_zstd_encoder PRIVATE -w)
add_library(aerolith::zstd ALIAS aerolith_zstd)
add_library(aerolith::zstd_encoder ALIAS aerolith_zstd_encoder)

# GoogleTest from the sources Debian ships.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
endif()
