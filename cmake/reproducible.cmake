# Reproducible builds: the same commit built from clones at different paths gives the same bytes.
#
# Compilers see absolute paths (CMake passes them), and __FILE__, assertion texts and debug
# information would carry them: they are written relative to the source and build folders instead.
# When the build folder lies inside the source folder, the later (more specific) mapping wins.
set(KWOBL_PREFIX_MAP_FLAGS
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_compile_options(${KWOBL_PREFIX_MAP_FLAGS})

if(WIN32)
  # The linker writes the time of the link into the PE header unless told not to.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
