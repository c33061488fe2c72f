# nlohmann json for the Windows cross build. The header-only library lives in /usr/include,
# which must never be on a mingw include path (its libc headers would shadow the target's),
# so expose only the nlohmann folder through a directory of its own.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_kv_json_inc ${CMAKE_BINARY_DIR}/_deps/nlohmann-include)
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    set(nlohmann_json_FOUND FALSE)
    set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann json missing: install Debian's nlohmann-json3-dev")
    return()
  endif()
  file(MAKE_DIRECTORY ${_kv_json_inc})
  file(CREATE_LINK /usr/include/nlohmann ${_kv_json_inc}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_kv_json_inc})
endif()
set(nlohmann_json_FOUND TRUE)
