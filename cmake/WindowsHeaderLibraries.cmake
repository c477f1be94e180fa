# The header-only libraries a Windows build uses, as the imported targets the
# Linux build finds with find_package: links to each library's own headers in
# one folder of the build, which is all of the build machine's /usr/include a
# Windows compile sees.
set(dir ${CMAKE_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${dir})
foreach(entry SimpleIni.h CLI nlohmann)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/setup.sh")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${dir}/${entry} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${dir})  # SimpleIni.h, included by name
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${dir})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${dir})
