# Regenerates the tile sheet and the icons into WORK_DIR and compares them
# byte for byte with the files under SOURCE_DIR/assets.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/icons")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}")
  endif()
endfunction()

run("${PYTHON}" "${SOURCE_DIR}/tools/make_tilesheet.py" "${WORK_DIR}/tiles.bmp")
run("${PYTHON}" "${SOURCE_DIR}/tools/make_icon.py" "${WORK_DIR}/icons")

set(files tiles.bmp)
foreach(size 16 32 48 64 128 256)
  list(APPEND files icons/quadix-${size}.png)
endforeach()
foreach(f IN LISTS files)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${SOURCE_DIR}/assets/${f}" "${WORK_DIR}/${f}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "assets/${f} differs from what tools/ generates")
  endif()
endforeach()
