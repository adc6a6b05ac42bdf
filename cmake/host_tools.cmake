# The native tools that the release targets of the windows preset run: the demo-picture generator
# (make_demo_pictures, for demo_pictures_zip and the msi target's pictures) and the check of a picture
# folder (check_pictures, for the msi target). The cross build cannot compile them for this machine
# itself, so it builds them in a host build of the same sources inside its own folder (build/windows/
# host, with the system's compiler, as the linux preset builds them), when a target first needs them.
# KWOBL_DEMO_PICTURES_GENERATOR and KWOBL_PICTURE_CHECKER name other ones instead.
include(ExternalProject)

set(KWOBL_DEMO_PICTURES_GENERATOR "" CACHE FILEPATH
  "A native demo-picture generator to run instead of the host build's")
set(KWOBL_PICTURE_CHECKER "" CACHE FILEPATH "A native check of a picture folder to run instead of the host build's")

set(KWOBL_HOST_BUILD ${CMAKE_BINARY_DIR}/host)
set(host_tools)
set(KWOBL_DEMO_PICTURES_GENERATOR_FILE ${KWOBL_DEMO_PICTURES_GENERATOR})
if(NOT KWOBL_DEMO_PICTURES_GENERATOR)
  set(KWOBL_DEMO_PICTURES_GENERATOR_FILE ${KWOBL_HOST_BUILD}/tools/make_demo_pictures)
  list(APPEND host_tools make_demo_pictures)
endif()
set(KWOBL_PICTURE_CHECKER_FILE ${KWOBL_PICTURE_CHECKER})
if(NOT KWOBL_PICTURE_CHECKER)
  set(KWOBL_PICTURE_CHECKER_FILE ${KWOBL_HOST_BUILD}/tools/check_pictures/check_pictures)
  list(APPEND host_tools check_pictures)
endif()

if(host_tools)
  # The linux preset's build type, so that the compiler cache serves both. The host build's own
  # Ninja does not share the outer one's job limit.
  cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_PHYSICAL_CORES)
  ExternalProject_Add(kwobl_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${KWOBL_HOST_BUILD}
    PREFIX ${CMAKE_BINARY_DIR}/host-stamps
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${host_tools} --parallel ${jobs}
    INSTALL_COMMAND ""
    # The host build's own Ninja decides what is out of date in the tools' sources.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${KWOBL_DEMO_PICTURES_GENERATOR_FILE} ${KWOBL_PICTURE_CHECKER_FILE}
    EXCLUDE_FROM_ALL ON
    LOG_CONFIGURE ON
    LOG_BUILD ON
    LOG_OUTPUT_ON_FAILURE ON)
else()
  add_custom_target(kwobl_host_tools)
endif()
