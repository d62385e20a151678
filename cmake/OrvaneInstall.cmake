# `cmake --install build --prefix P`: the three programs in P/bin; the
# declarations, t3.wrl and its textures in P/share/orvane (where the programs
# look for them, relative to their own folder); the desktop entry and the icon
# where desktops look for them.
include(GNUInstallDirs)
foreach(program orvane orvane-render orvane-bifs)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
set(_share ${CMAKE_INSTALL_DATADIR}/orvane)
install(FILES ${ORVANE_STANDARD_NODES} ${PROJECT_SOURCE_DIR}/data/t3.wrl DESTINATION ${_share})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/textures/ DESTINATION ${_share}/textures
  FILES_MATCHING PATTERN "*.jpg" PATTERN "*.png" PATTERN "*.bmp" PATTERN "*.tga")
install(FILES ${PROJECT_SOURCE_DIR}/desktop/orvane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/orvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The script engine module, loaded by the programs from lib/orvane beside bin.
if(TARGET orvane_script_module)
  install(TARGETS orvane_script_module LIBRARY DESTINATION ${ORVANE_SCRIPT_MODULE_DIR})
endif()
