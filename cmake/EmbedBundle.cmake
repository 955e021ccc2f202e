# aerolith_embed_bundle(<target> MANIFEST <file> PAYLOAD <file>
#                       [OUTPUT_DIRECTORY <dir>] [DEPENDS <target>...])
#
# Builds a second launcher, <target>, from the launcher's own sources, with the
# bundle (as `aerolith-pack pack` writes it) embedded at build time:
# - Windows: as RCDATA resources 48978 and 19266 in language 1033, through a
#   generated .rc file that windres compiles into the image;
# - POSIX: as the resource table appended after linking by `aerolith-pack embed`.
# DEPENDS names the targets that produce the two files.
function(aerolith_embed_bundle target)
  cmake_parse_arguments(arg "" "MANIFEST;PAYLOAD;OUTPUT_DIRECTORY" "DEPENDS" ${ARGN})
  if(NOT arg_MANIFEST OR NOT arg_PAYLOAD)
    message(FATAL_ERROR "aerolith_embed_bundle(${target}) needs MANIFEST and PAYLOAD")
  endif()
  if(NOT arg_OUTPUT_DIRECTORY)
    set(arg_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/${target}")
  endif()
  aerolith_add_launcher(${target} "${arg_OUTPUT_DIRECTORY}")
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()

  if(WIN32)
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_bundle.rc")
    file(WRITE "${rc}"
         "// The bundle: manifest and payload, RCDATA in English (United States).\n"
         "LANGUAGE 9, 1\n"
         "48978 RCDATA \"${arg_MANIFEST}\"\n"
         "19266 RCDATA \"${arg_PAYLOAD}\"\n")
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${arg_MANIFEST};${arg_PAYLOAD}")
  else()
    # A changed bundle relinks the image, and the embedding step follows.
    set_target_properties(${target} PROPERTIES LINK_DEPENDS "${arg_MANIFEST};${arg_PAYLOAD}")
    add_dependencies(${target} aerolith_pack)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND aerolith_pack embed "$<TARGET_FILE:${target}>" "${arg_MANIFEST}"
                               "${arg_PAYLOAD}" -o "$<TARGET_FILE:${target}>" --force
                       COMMENT "Embedding the bundle into ${target}"
                       VERBATIM)
  endif()
endfunction()
