# Cross build for Windows x86-64 with Debian's mingw-w64 (posix thread model, so
# std::thread and std::mutex work). Test executables run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_kv_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_kv_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kv_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_kv_triple}-windres)
set(CMAKE_AR ${_kv_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_kv_triple}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the mingw sysroot only; tools from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_kv_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and gtest_discover_tests start every .exe through Wine. The wrapper keeps Wine quiet
# and uses the run's prefix when one is set up.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
# List the tests when ctest runs, not at build time, so building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Header-only and source-only Debian packages, made usable from the cross build.
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw CACHE PATH "")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw CACHE PATH "")
