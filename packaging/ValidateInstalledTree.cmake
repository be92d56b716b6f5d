# Installs the build into a scratch folder laid out as /usr and checks the
# tree as a desktop would find it: appstreamcli validates the metainfo in
# share/metainfo and looks for the desktop entry its launchable names; then
# the entry's Exec must be in bin and its Icon in the hicolor theme, each
# picture as many pixels wide and high as its folder says.
# Arguments: BUILD_DIR, STAGE_DIR, APPSTREAMCLI.
file(REMOVE_RECURSE "${STAGE_DIR}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE_DIR}/usr"
  OUTPUT_QUIET
  RESULT_VARIABLE install_result)
if(NOT install_result EQUAL 0)
  message(FATAL_ERROR "installing into ${STAGE_DIR} failed (${install_result})")
endif()
execute_process(
  COMMAND "${APPSTREAMCLI}" validate-tree --no-net --strict --explain "${STAGE_DIR}"
  RESULT_VARIABLE validate_result)
if(NOT validate_result EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate-tree failed (${validate_result})")
endif()

set(usr "${STAGE_DIR}/usr")
file(GLOB entries "${usr}/share/applications/*.desktop")
if(NOT entries)
  message(FATAL_ERROR "no desktop entry in ${usr}/share/applications")
endif()
foreach(entry IN LISTS entries)
  file(STRINGS "${entry}" exec_line REGEX "^Exec=")
  file(STRINGS "${entry}" icon_line REGEX "^Icon=")
  string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec_line}")
  string(REGEX REPLACE "^Icon=" "" icon "${icon_line}")
  if(NOT EXISTS "${usr}/bin/${exec}")
    message(FATAL_ERROR "${entry}: Exec=${exec} is not installed in bin")
  endif()
  file(GLOB pictures "${usr}/share/icons/hicolor/*/apps/${icon}.png")
  if(NOT pictures)
    message(FATAL_ERROR "${entry}: Icon=${icon} is not in the hicolor theme")
  endif()
  foreach(picture IN LISTS pictures)
    # A PNG's width and height: big-endian, at bytes 16..23 (the IHDR chunk).
    file(READ "${picture}" header HEX LIMIT 24)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 32 8 width_hex)
    string(SUBSTRING "${header}" 40 8 height_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    get_filename_component(size_dir "${picture}" DIRECTORY)
    get_filename_component(size_dir "${size_dir}" DIRECTORY)
    get_filename_component(size_dir "${size_dir}" NAME)
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT size_dir STREQUAL "${width}x${height}")
      message(FATAL_ERROR "${picture}: a ${width}x${height} picture in ${size_dir}")
    endif()
  endforeach()
endforeach()
