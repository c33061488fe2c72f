# Answer version requests with the installed headers' own version file.
foreach(_kv_dir /usr/share/cmake/nlohmann_json /usr/lib/cmake/nlohmann_json)
  if(EXISTS ${_kv_dir}/nlohmann_jsonConfigVersion.cmake)
    include(${_kv_dir}/nlohmann_jsonConfigVersion.cmake)
    return()
  endif()
endforeach()
set(PACKAGE_VERSION_COMPATIBLE TRUE)
