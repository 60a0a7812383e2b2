# Two builds of one commit in different folders give byte-identical
# programs: no build or source folder in the objects, no link time in the
# images. Every toolchain file includes this.
get_filename_component(BRISVEL_REPRODUCIBLE_SOURCE "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(BRISVEL_REPRODUCIBLE_PATHS
  "-ffile-prefix-map=${BRISVEL_REPRODUCIBLE_SOURCE}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
# The build folder's map comes last, so it wins for files below both.
set(CMAKE_C_FLAGS_INIT "${BRISVEL_REPRODUCIBLE_PATHS}")
set(CMAKE_CXX_FLAGS_INIT "${BRISVEL_REPRODUCIBLE_PATHS}")
# After the toolchain's own linker flags, which it sets before including this.
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
endforeach()

# widl stamps the type library with the time it ran, so it runs at a fixed
# time: ${BRISVEL_FIXED_TIME} ${WIDL_EXECUTABLE} ...
find_program(FAKETIME_EXECUTABLE faketime REQUIRED)
set(BRISVEL_FIXED_TIME ${FAKETIME_EXECUTABLE} "2000-01-01 00:00:00")
