# The Windows builds parse windows.h (with its intrinsics), the standard
# library and GoogleTest in nearly every source. One precompiled header a
# target holds them. (The command-line and JSON libraries stay out: few of
# the host's sources use them, and loading them costs the rest more than
# parsing saves.)
include(${CMAKE_CURRENT_LIST_DIR}/TargetsBelow.cmake)

# Every C++ target of the project; the header probe is left alone, since it
# checks the order in which windows.h meets the project's headers.
function(qel_windows_precompiled_headers)
  set(common <winsock2.h> <windows.h> <algorithm> <chrono> <functional> <map> <memory> <mutex> <string>
             <string_view> <vector>)
  qel_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$" OR target MATCHES
                                                                                      "^(gtest|gmock|gtest_main|gmock_main|qel_sdk_header_probe)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(LENGTH sources count)
    if(count LESS 2)
      continue()
    endif()
    set(headers ${common})
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(libraries MATCHES "GTest::")
      list(APPEND headers <gtest/gtest.h> <gmock/gmock.h>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
  endforeach()
endfunction()
