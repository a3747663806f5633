# prismeta_opencv_part(name): an imported target OpenCV::<name> for one of
# OpenCV's libraries. Debian's split packages (libopencv-core-dev and the
# like) ship headers and libraries but no CMake or pkg-config files; those
# come only with the whole libopencv-dev.
function(prismeta_opencv_part name)
  if(TARGET OpenCV::${name})
    return()
  endif()
  find_path(PRISMETA_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
  find_library(PRISMETA_OPENCV_${name}_LIBRARY opencv_${name} REQUIRED)
  add_library(OpenCV::${name} UNKNOWN IMPORTED)
  set_target_properties(OpenCV::${name} PROPERTIES
    IMPORTED_LOCATION "${PRISMETA_OPENCV_${name}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${PRISMETA_OPENCV_INCLUDE_DIR}")
endfunction()
