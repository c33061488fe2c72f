# Shared build rules: strict warnings, sanitizers, bundle locations.

set(KESTRAVEL_BUNDLE_DIR ${CMAKE_BINARY_DIR}/vst3 CACHE INTERNAL "")
if(WIN32)
  set(KESTRAVEL_BUNDLE_ARCH x86_64-win)
  if(DEFINED ENV{COMMONPROGRAMFILES})
    file(TO_CMAKE_PATH "$ENV{COMMONPROGRAMFILES}/VST3" _kv_default_install)
  else()
    set(_kv_default_install "C:/Program Files/Common Files/VST3")
  endif()
else()
  set(KESTRAVEL_BUNDLE_ARCH x86_64-linux)
  set(_kv_default_install "$ENV{HOME}/.vst3")
endif()
set(KESTRAVEL_INSTALL_VST3_DIR "${_kv_default_install}" CACHE PATH "Where cmake --install puts the bundles when no prefix is given")

if(KESTRAVEL_SANITIZE)
  add_compile_options(-fsanitize=${KESTRAVEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KESTRAVEL_SANITIZE})
endif()

if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT MSVC)
  # g++ 12 vectorises the gain loops only at -O3; bundles stay baseline x86-64.
  string(REPLACE "-O2" "-O3" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
endif()

# Warnings as errors on every project target (not on an official SDK build).
function(kestravel_strict target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wimplicit-fallthrough -Werror)
  # GCC 12 reports false array-bounds and maybe-uninitialized warnings inside the standard library
  # (vector copies, std::regex) when sanitizer instrumentation meets -O1; they stay warnings
  # there, and errors in every other build.
  if(KESTRAVEL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-error=array-bounds -Wno-error=maybe-uninitialized)
  endif()
endfunction()

if(WIN32)
  # The C++ runtime, libgcc and winpthread are linked statically so a bundle needs nothing
  # beside itself. Only -static does it with mingw: its driver leaves -lstdc++ to the linker's
  # current mode, and system DLLs still come in through their import archives.
  add_link_options(-static)
endif()
