# Fills a built bundle's Contents/Resources from the module itself (cmake -P, run by the build):
# the editor snapshots named after the class ID, then moduleinfo.json, which lists them.
#
#   RACKHOST  the rackhost command (the emulator in front when cross-built), |-separated
#   BUNDLE    the .vst3 bundle folder
#   VERSION   the bundle's version (the project version)
#   SCALES    whole-number snapshot scale factors to render, |-separated: "1" or "1|2"
#   STAMP     file touched when everything is written
#   SIGNAL    (optional) a short WAV played through the module first, so the snapshots show
#             its meters moving, with a hold line and a clip light
foreach(var RACKHOST BUNDLE VERSION SCALES STAMP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "bundle_resources: ${var} is not set")
  endif()
endforeach()

string(REPLACE "|" ";" RACKHOST "${RACKHOST}")
string(REPLACE "|" ";" SCALES "${SCALES}")

# Output goes through files, not pipes: Wine's first start leaves service processes behind that
# inherit the descriptors, and a pipe they hold would never reach its end.
function(rackhost)
  execute_process(COMMAND ${RACKHOST} ${ARGN} RESULT_VARIABLE rc
                  OUTPUT_FILE ${STAMP}.out ERROR_FILE ${STAMP}.err)
  file(READ ${STAMP}.out out)
  file(READ ${STAMP}.err err)
  file(REMOVE ${STAMP}.out ${STAMP}.err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "rackhost ${line} failed (${rc}):\n${out}${err}")
  endif()
  set(rackhost_output "${out}" PARENT_SCOPE)
endfunction()

# Start clean, so a snapshot of a scale no longer built cannot linger in the listing.
set(resources ${BUNDLE}/Contents/Resources)
file(REMOVE_RECURSE ${resources})
file(MAKE_DIRECTORY ${resources}/Snapshots)

# The class IDs come from the module, as hosts will read them.
rackhost(moduleinfo ${BUNDLE} --version ${VERSION} --out -)
string(JSON count LENGTH "${rackhost_output}" Classes)
if(count EQUAL 0)
  message(FATAL_ERROR "bundle_resources: ${BUNDLE} registers no class")
endif()
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON category GET "${rackhost_output}" Classes ${i} Category)
  if(NOT category STREQUAL "Audio Module Class")
    continue()
  endif()
  string(JSON cid GET "${rackhost_output}" Classes ${i} CID)
  set(signal)
  if(DEFINED SIGNAL)
    set(signal --in ${SIGNAL})
  endif()
  foreach(scale ${SCALES})
    if(scale STREQUAL "1")
      rackhost(snapshot ${BUNDLE} ${signal} --out ${resources}/Snapshots/${cid}_snapshot.png)
    else()
      rackhost(snapshot ${BUNDLE} ${signal} --scale ${scale} --out ${resources}/Snapshots/${cid}_snapshot_${scale}.0x.png)
    endif()
  endforeach()
endforeach()

rackhost(moduleinfo ${BUNDLE} --version ${VERSION})
file(TOUCH ${STAMP})
