# Makes one software update package (run with cmake -P):
#   -DPROGRAM=<built program> -DVERSION=A.B.C -DLOADER=<loader.in> -DOUTPUT=<.../ORBELIN_Vn_A_B_C.ovn>
# The package is a gzip tar of the program file ORBELIN_Vn_A_B_C and the loader loader_A_B_C.
# The version lives only in the names, so a package of another version holds the same
# program under that version's name.
string(REPLACE "." "_" ORBELIN_PACKAGE_UNDERSCORED "${VERSION}")
set(ORBELIN_PACKAGE_VERSION "${VERSION}")
set(stage "${OUTPUT}.d")
set(program_name "ORBELIN_Vn_${ORBELIN_PACKAGE_UNDERSCORED}")
set(loader_name "loader_${ORBELIN_PACKAGE_UNDERSCORED}")
set(executable OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}/in")
configure_file("${LOADER}" "${stage}/in/${loader_name}" @ONLY)
get_filename_component(built_name "${PROGRAM}" NAME)
file(COPY "${PROGRAM}" DESTINATION "${stage}/in")
if(NOT built_name STREQUAL program_name)
    file(RENAME "${stage}/in/${built_name}" "${stage}/in/${program_name}")
endif()
file(COPY "${stage}/in/${program_name}" "${stage}/in/${loader_name}"
     DESTINATION "${stage}" FILE_PERMISSIONS ${executable})
file(REMOVE_RECURSE "${stage}/in")

execute_process(
    COMMAND "${CMAKE_COMMAND}" -E tar czf "${OUTPUT}.part" "${program_name}" "${loader_name}"
    WORKING_DIRECTORY "${stage}"
    RESULT_VARIABLE result)
file(REMOVE_RECURSE "${stage}")
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}.part")
    message(FATAL_ERROR "Could not make ${OUTPUT}: ${result}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
