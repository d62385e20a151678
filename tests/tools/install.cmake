# Installs the build into a fresh prefix, then, from an empty folder, renders the
# installed t3.wrl with orvane-render: first with the installed declarations, then
# with the built-in ones once the installed copy is gone (the same picture). The
# desktop entry must pass desktop-file-validate.
set(prefix ${OUT}/install-prefix)
set(empty ${OUT}/install-empty)
file(REMOVE_RECURSE ${prefix} ${empty})
file(MAKE_DIRECTORY ${empty})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}): ${err}")
endif()
foreach(file bin/orvane bin/orvane-render bin/orvane-bifs share/orvane/standardNodes.wrl
             share/orvane/t3.wrl share/orvane/textures/checker.jpg share/orvane/textures/dots.bmp
             share/orvane/textures/stripes.tga share/applications/orvane.desktop
             share/icons/hicolor/scalable/apps/orvane.svg)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

foreach(run "installed;${prefix}/bin/../share/orvane/standardNodes.wrl"
            "built-in;built-in declarations")
  list(GET run 0 name)
  list(GET run 1 where)
  if(name STREQUAL "built-in")
    file(REMOVE ${prefix}/share/orvane/standardNodes.wrl)
  endif()
  execute_process(
    COMMAND ${prefix}/bin/orvane-render ${prefix}/share/orvane/t3.wrl -o ${OUT}/install-${name}.png
            --size 160x120 -v
    WORKING_DIRECTORY ${empty} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "installed orvane-render (${name}) failed (${rc}): ${err}")
  endif()
  string(FIND "${err}" "declarations from ${where}\n" at)
  string(FIND "${err}" "File name error" missing)
  if(at EQUAL -1 OR NOT missing EQUAL -1)
    message(FATAL_ERROR "installed orvane-render (${name}): expected declarations from ${where} "
                        "and every texture found:\n${err}")
  endif()
  file(SHA256 ${OUT}/install-${name}.png hash_${name})
endforeach()
if(NOT hash_installed STREQUAL hash_built-in)
  message(FATAL_ERROR "the built-in declarations render t3.wrl differently from the installed ones")
endif()

find_program(VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND ${VALIDATE} ${prefix}/share/applications/orvane.desktop
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "desktop-file-validate refuses orvane.desktop:\n${out}${err}")
endif()
file(REMOVE_RECURSE ${prefix} ${empty})
