# kestravel_engine_avx2(<target> <engine source dir>): adds the AVX2 build of the channel loops
# to a target when the compiler targets x86-64 with GCC or Clang. Used by the library and by the
# fuzz target that compiles the engine's sources itself.
function(kestravel_engine_avx2 target dir)
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()
  endif()
  set(source ${dir}/channel_kernels_avx2.cpp)
  target_sources(${target} PRIVATE ${source})
  set(flags -mavx2)
  if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND flags -Wa,-muse-unaligned-vector-move)
  endif()
  set_source_files_properties(${source} PROPERTIES COMPILE_OPTIONS "${flags}")
  target_compile_definitions(${target} PRIVATE KESTRAVEL_ENGINE_AVX2=1)
endfunction()
