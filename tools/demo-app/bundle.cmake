# The demo bundle: the demo application at the top level as Aerolith.exe (the
# name a launcher starts, on every platform) and the files under
# data/, packed at build time into <build>/demo-bundle, and a launcher that
# carries it in <build>/demo.
set(demo_stage "${PROJECT_BINARY_DIR}/demo-stage")
set(demo_bundle "${PROJECT_BINARY_DIR}/demo-bundle")
file(GLOB_RECURSE demo_data CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/data/*")
if(CMAKE_CROSSCOMPILING)
  # The Windows tool runs under Wine, whose helper processes outlive it and would
  # hold the build's pipes open: its streams go to a log, shown on failure.
  set(pack_tool "${PROJECT_SOURCE_DIR}/scripts/run-logged" "${demo_bundle}.log"
                ${CMAKE_CROSSCOMPILING_EMULATOR} "$<TARGET_FILE:aerolith_pack>")
else()
  set(pack_tool "$<TARGET_FILE:aerolith_pack>")
endif()
add_custom_command(
  OUTPUT "${demo_bundle}/manifest.bin" "${demo_bundle}/payload.bin"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${demo_stage}"
  COMMAND "${CMAKE_COMMAND}" -E copy_directory "${CMAKE_CURRENT_LIST_DIR}/data" "${demo_stage}"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:aerolith_demo_app>" "${demo_stage}/Aerolith.exe"
  COMMAND ${pack_tool} pack "${demo_stage}" "${demo_bundle}" --force
  DEPENDS aerolith_demo_app aerolith_pack ${demo_data}
  COMMENT "Packing the demo bundle"
  VERBATIM)
add_custom_target(aerolith_demo_bundle ALL
                  DEPENDS "${demo_bundle}/manifest.bin" "${demo_bundle}/payload.bin")
aerolith_embed_bundle(aerolith_demo_launcher
                      MANIFEST "${demo_bundle}/manifest.bin"
                      PAYLOAD "${demo_bundle}/payload.bin"
                      OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/demo"
                      DEPENDS aerolith_demo_bundle)
