# Include rules of the layers, checked when the build is configured: a plug-in
# subsystem reaches only core and the shared headers, core reaches no
# subsystem, the host no plug-in internals, and no code above the system
# layer names the simulation. A violation stops the configure step.

set(QEL_SHARED_ROOTS qel qelcommon ce ceutil)

# qel_check_includes(FOLDER folder ALLOWED root...): every #include "root/..."
# in the folder's sources must use an allowed root (headers without a folder
# are the folder's own).
function(qel_check_includes)
  cmake_parse_arguments(C "NO_SIMULATION" "FOLDER" "ALLOWED" ${ARGN})
  file(GLOB_RECURSE files ${PROJECT_SOURCE_DIR}/${C_FOLDER}/*.h ${PROJECT_SOURCE_DIR}/${C_FOLDER}/*.cpp)
  foreach(f IN LISTS files)
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^/\"]+)/.*$" "\\1" root "${line}")
      file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${f})
      if(NOT root IN_LIST C_ALLOWED)
        message(FATAL_ERROR "${rel}: '${line}' crosses a layer (${C_FOLDER} may include ${C_ALLOWED})")
      endif()
      # Tests drive the simulated terminal; the code the module is built from never does.
      if(C_NO_SIMULATION AND line MATCHES "\"ce/sim/" AND NOT rel MATCHES "_test\\.cpp$")
        message(FATAL_ERROR "${rel}: '${line}' names the simulation, which ${C_FOLDER} must not know")
      endif()
    endforeach()
  endforeach()
endfunction()

function(qel_check_layers)
  qel_check_includes(FOLDER plugin/core NO_SIMULATION ALLOWED ${QEL_SHARED_ROOTS} core)
  foreach(subsystem IN LISTS ARGN)
    qel_check_includes(FOLDER plugin/${subsystem} NO_SIMULATION ALLOWED ${QEL_SHARED_ROOTS} core ${subsystem})
  endforeach()
  qel_check_includes(FOLDER plugin/module NO_SIMULATION ALLOWED ${QEL_SHARED_ROOTS} core module ${ARGN})
  qel_check_includes(FOLDER common NO_SIMULATION ALLOWED ${QEL_SHARED_ROOTS})
  qel_check_includes(FOLDER platform/util NO_SIMULATION ALLOWED ce ceutil)
  qel_check_includes(FOLDER include/qel NO_SIMULATION ALLOWED qel)
  # The host sees the contract, the shared library and the system layer (the
  # simulation's control API included), and the foundation's objects, which
  # exist for the host's use; never the rest of the plug-in.
  qel_check_includes(FOLDER host ALLOWED ${QEL_SHARED_ROOTS} foundation)
endfunction()
