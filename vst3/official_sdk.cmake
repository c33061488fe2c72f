# Filled in below (official SDK build); see CMakeLists.txt.
message(FATAL_ERROR "KESTRAVEL_VST3_SDK_DIR is not supported yet")
