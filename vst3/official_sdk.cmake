# kestravel_vst3 over an official VST 3 SDK checkout (KESTRAVEL_VST3_SDK_DIR): the SDK's own
# CMake builds its base, pluginterfaces and sdk libraries; nothing of it lives in this tree.

set(_kv_sdk "${KESTRAVEL_VST3_SDK_DIR}")
if(NOT EXISTS "${_kv_sdk}/CMakeLists.txt"
   OR NOT EXISTS "${_kv_sdk}/public.sdk/source/vst/vstsinglecomponenteffect.cpp"
   OR NOT EXISTS "${_kv_sdk}/pluginterfaces/base/funknown.h")
  message(FATAL_ERROR "KESTRAVEL_VST3_SDK_DIR=${_kv_sdk} is not a VST 3 SDK checkout with its "
                      "base, pluginterfaces, public.sdk and cmake submodules")
endif()

# Only the libraries are wanted: no VSTGUI, no examples, no validator runs, no links in ~/.vst3.
foreach(_kv_opt
    SMTG_ENABLE_VSTGUI_SUPPORT SMTG_ADD_VSTGUI
    SMTG_ENABLE_VST3_PLUGIN_EXAMPLES SMTG_ENABLE_VST3_HOSTING_EXAMPLES
    SMTG_RUN_VST_VALIDATOR SMTG_CREATE_PLUGIN_LINK SMTG_CREATE_MODULE_INFO)
  set(${_kv_opt} OFF CACHE BOOL "Forced off by the KESTRAVEL build" FORCE)
endforeach()

# EXCLUDE_FROM_ALL: SDK targets (its validator included) build only when something needs them.
add_subdirectory("${_kv_sdk}" "${CMAKE_BINARY_DIR}/vst3sdk" EXCLUDE_FROM_ALL)

# The SDK leaves the single-component base to the plug-in project (it compiles the edit
# controller into the same object under renamed state methods), so it is built here.
add_library(kestravel_vst3 STATIC "${_kv_sdk}/public.sdk/source/vst/vstsinglecomponenteffect.cpp")
target_link_libraries(kestravel_vst3 PUBLIC sdk)
# SYSTEM: project targets keep their warnings-as-errors without judging the SDK's headers.
target_include_directories(kestravel_vst3 SYSTEM PUBLIC "${_kv_sdk}")
target_compile_features(kestravel_vst3 PUBLIC cxx_std_20)
