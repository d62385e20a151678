# Input of the loader: scene files, plain or gzip-compressed, and the
# declarations lookup (working directory, installed copy, built-in copy). Included by loader/CMakeLists.txt after the library and
# the standardNodes.wrl rule exist.
include(GNUInstallDirs)
set(_builtin ${CMAKE_CURRENT_BINARY_DIR}/builtin_standard_nodes.cpp)
add_custom_command(OUTPUT ${_builtin}
  COMMAND ${CMAKE_COMMAND} -DIN=${ORVANE_STANDARD_NODES} -DOUT=${_builtin}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_standard_nodes.cmake
  DEPENDS ${ORVANE_STANDARD_NODES} ${CMAKE_CURRENT_SOURCE_DIR}/embed_standard_nodes.cmake
  COMMENT "Building the declarations into the loader")
target_sources(orvane_loader PRIVATE scene_source.cpp ${_builtin})
# gzip-compressed worlds are inflated as they are read.
find_package(ZLIB REQUIRED)
target_link_libraries(orvane_loader PRIVATE ZLIB::ZLIB)

# The installed data folder as seen from the installed programs' folder.
file(RELATIVE_PATH _data_from_bin /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_DATADIR}/orvane)
set_property(SOURCE scene_source.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  ORVANE_DATA_FROM_BIN="${_data_from_bin}")
