# aerolith_delay_load(<target> <library>...): <target>, and whatever links it,
# imports the named system libraries (user32, gdi32, ...) lazily: each is
# loaded at its first call, after
# the program has restricted the library search to the system folder. Imported
# the usual way, a library is loaded before the program's first instruction,
# from wherever the system searches first, the program's own folder included,
# and so are the libraries it depends on.
if(NOT WIN32)
  function(aerolith_delay_load target)
  endfunction()
  return()
endif()

find_program(AEROLITH_DLLTOOL NAMES ${CMAKE_DLLTOOL} x86_64-w64-mingw32-dlltool REQUIRED)
set(AEROLITH_MINGW_LIB_DIR "/usr/x86_64-w64-mingw32/lib" CACHE PATH
    "Folder of the cross toolchain's import libraries")

# lib<library>_delay.a, made once from the toolchain's import library.
function(aerolith_delay_library library out)
  set(folder "${CMAKE_BINARY_DIR}/delay-load")
  set(archive "${folder}/lib${library}_delay.a")
  if(NOT EXISTS "${archive}")
    file(MAKE_DIRECTORY "${folder}")
    execute_process(COMMAND "${CMAKE_NM}" "${AEROLITH_MINGW_LIB_DIR}/lib${library}.a"
                    OUTPUT_VARIABLE symbols ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@]+" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    list(TRANSFORM imports REPLACE "^__imp_" "")
    string(TOUPPER "${library}" upper)
    list(JOIN imports "\n" exports)
    file(WRITE "${folder}/${library}.def" "LIBRARY ${upper}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND "${AEROLITH_DLLTOOL}" --input-def "${folder}/${library}.def"
                            --dllname "${upper}.dll" --output-delaylib "${archive}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${out} "${archive}" PARENT_SCOPE)
endfunction()

function(aerolith_delay_load target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  foreach(library IN LISTS ARGN)
    aerolith_delay_library(${library} archive)
    target_link_libraries(${target} ${scope} "${archive}")
  endforeach()
  # The helper that loads them, from the toolchain's runtime.
  target_link_libraries(${target} ${scope} mingwex)
endfunction()
