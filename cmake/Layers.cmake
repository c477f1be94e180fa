# The layer rules (cmake/layer_check.py): the includes of every source folder
# and the link graph of the project's libraries, checked on every build before
# anything the module is built from compiles, and by the tests.

include(${CMAKE_CURRENT_LIST_DIR}/TargetsBelow.cmake)

# Writes BUILD/layers/links.json: each target of the project and the libraries
# it links directly, as CMake was told (generator expressions kept as text).
function(qel_write_link_graph)
  qel_targets_below(${PROJECT_SOURCE_DIR} targets)
  set(json "{")
  set(sep "")
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(libs ${t} LINK_LIBRARIES)
    get_target_property(interface ${t} INTERFACE_LINK_LIBRARIES)
    set(items "")
    set(isep "")
    foreach(lib IN LISTS libs interface)
      if(lib MATCHES "-NOTFOUND$")
        continue()
      endif()
      if(TARGET "${lib}")  # an alias is written as the target it names
        get_target_property(real "${lib}" ALIASED_TARGET)
        if(real)
          set(lib "${real}")
        endif()
      endif()
      string(REPLACE "\\" "\\\\" lib "${lib}")
      string(REPLACE "\"" "\\\"" lib "${lib}")
      string(APPEND items "${isep}\"${lib}\"")
      set(isep ", ")
    endforeach()
    string(APPEND json "${sep}\n  \"${t}\": [${items}]")
    set(sep ",")
  endforeach()
  string(APPEND json "\n}\n")
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/layers/links.json CONTENT "${json}")
endfunction()

function(qel_layer_rules)
  qel_write_link_graph()
  set(check ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/layer_check.py
      --root ${PROJECT_SOURCE_DIR} --links ${PROJECT_BINARY_DIR}/layers/links.json)
  add_custom_target(layer_check ALL COMMAND ${check} COMMENT "Checking the layers" VERBATIM)
  add_dependencies(qelsim layer_check)
  if(QEL_BUILD_TESTS)
    add_test(NAME Layers.TreeKeepsItsLayers COMMAND ${check})
    add_test(NAME Layers.PlantedViolationsFail
             COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/layer_check_test.py
                     --root ${PROJECT_SOURCE_DIR} --links ${PROJECT_BINARY_DIR}/layers/links.json)
    set_tests_properties(Layers.TreeKeepsItsLayers Layers.PlantedViolationsFail PROPERTIES LABELS layers)
  endif()
endfunction()
