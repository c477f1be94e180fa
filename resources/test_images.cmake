# Images the tests and benchmarks read: version 1.2.3.4 with two translations
# as PE32 and PE32+, one without resources, and one of 5 MB.
set(translations ${PROJECT_SOURCE_DIR}/tests/pe/translations.rc)
qel_pe_image(translations32.dll RC ${translations})
qel_pe_image(translations64.dll RC ${translations} X64)
set(empty ${obj_dir}/empty.o)
file(WRITE ${obj_dir}/empty.s "")
add_custom_command(OUTPUT ${empty} COMMAND ${QEL_AS} -o ${empty} ${obj_dir}/empty.s VERBATIM)
qel_pe_image(noversion.dll OBJECTS ${empty})
set(bulk ${obj_dir}/bulk.o)
file(WRITE ${obj_dir}/bulk.s ".section .rdata\n.fill 5242880,1,0x5a\n")
add_custom_command(OUTPUT ${bulk} COMMAND ${QEL_AS} -o ${bulk} ${obj_dir}/bulk.s VERBATIM)
qel_pe_image(large.dll RC ${translations} OBJECTS ${bulk})
add_custom_target(qel_test_images DEPENDS ${QEL_PE_DIR}/translations32.dll ${QEL_PE_DIR}/translations64.dll
                                          ${QEL_PE_DIR}/noversion.dll ${QEL_PE_DIR}/large.dll)
