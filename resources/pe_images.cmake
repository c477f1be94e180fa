# qel_pe_image(): PE images with a version resource, made with mingw-w64's
# windres and linker (Debian's binutils-mingw-w64), into QEL_PE_DIR. Used by
# the simulation's build and by the Windows builds' tests.
find_program(QEL_WINDRES i686-w64-mingw32-windres REQUIRED)
find_program(QEL_LD i686-w64-mingw32-ld REQUIRED)
find_program(QEL_AS i686-w64-mingw32-as REQUIRED)
find_program(QEL_WINDRES64 x86_64-w64-mingw32-windres REQUIRED)
find_program(QEL_LD64 x86_64-w64-mingw32-ld REQUIRED)

set(QEL_PE_DIR ${CMAKE_BINARY_DIR}/pe CACHE INTERNAL "the PE images the build makes")
set(obj_dir ${QEL_PE_DIR}/obj)
file(MAKE_DIRECTORY ${obj_dir})

# qel_pe_image(NAME [RC script] [INCLUDE dir] [X64] [EXE] [OBJECTS obj...] [DEPENDS file...])
# Links ${QEL_PE_DIR}/NAME, a PE32 image (PE32+ with X64), a library unless
# EXE, without code: the version resource of RC and OBJECTS.
function(qel_pe_image name)
  cmake_parse_arguments(A "X64;EXE" "RC;INCLUDE" "OBJECTS;DEPENDS" ${ARGN})
  set(objects ${A_OBJECTS})
  if(A_RC)
    set(res ${obj_dir}/${name}.res)
    set(rsrc ${obj_dir}/${name}.rsrc.o)
    set(includes)
    if(A_INCLUDE)
      set(includes -I ${A_INCLUDE})
    endif()
    # The i686 windres preprocesses (the x86-64 one finds no preprocessor of
    # its own); either converts the compiled resource into its COFF object.
    set(convert ${QEL_WINDRES})
    if(A_X64)
      set(convert ${QEL_WINDRES64})
    endif()
    add_custom_command(OUTPUT ${rsrc}
      COMMAND ${QEL_WINDRES} ${includes} -O res -o ${res} ${A_RC}
      COMMAND ${convert} -J res -O coff -o ${rsrc} ${res}
      DEPENDS ${A_RC} ${A_DEPENDS} VERBATIM)
    list(APPEND objects ${rsrc})
  endif()
  set(linker ${QEL_LD})
  if(A_X64)
    set(linker ${QEL_LD64})
  endif()
  set(kind -shared)
  if(A_EXE)
    set(kind)
  endif()
  add_custom_command(OUTPUT ${QEL_PE_DIR}/${name}
    COMMAND ${linker} ${kind} -e 0 -o ${QEL_PE_DIR}/${name} ${objects}
    DEPENDS ${objects} VERBATIM)
endfunction()
