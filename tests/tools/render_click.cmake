# orvane-render --click: a click on an Anchor's children loads the scene file it names
# (relative to the scene) before the picture; a click beside it changes nothing.
file(MAKE_DIRECTORY ${OUT}/click)
file(WRITE ${OUT}/click/a.wrl "#VRML V2.0 utf8\nViewpoint { position 0 0 10 }\n"
  "Anchor { url [ \"missing.wrl\" \"b.wrl\" ] children Shape { geometry Box { size 2 2 2 } } }\n")
file(WRITE ${OUT}/click/b.wrl "#VRML V2.0 utf8\nViewpoint { position 0 0 3 }\n"
  "Shape { geometry Sphere {} }\n")
foreach(run "none;--headlight;on" "beside;--click;2,2@0" "on;--click;50,50@0.5;--time;1")
  list(GET run 0 name)
  list(SUBLIST run 1 -1 extra)
  execute_process(
    COMMAND ${RENDER} a.wrl -o ${OUT}/click/${name}.png --size 100x100 --standard-nodes ${STANDARD}
            ${extra}
    WORKING_DIRECTORY ${OUT}/click RESULT_VARIABLE rc ERROR_VARIABLE err_${name})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "orvane-render ${extra} failed (${rc}): ${err_${name}}")
  endif()
  file(SHA256 ${OUT}/click/${name}.png hash_${name})
endforeach()
if(NOT hash_none STREQUAL hash_beside)
  message(FATAL_ERROR "a click beside the Anchor changed the picture: ${err_beside}")
endif()
string(FIND "${err_on}" "an Anchor opened" at)
if(hash_none STREQUAL hash_on OR at EQUAL -1)
  message(FATAL_ERROR "a click on the Anchor did not open b.wrl: ${err_on}")
endif()
execute_process(COMMAND ${RENDER} a.wrl -o x.png --click 5,1 RESULT_VARIABLE rc ERROR_VARIABLE err)
string(FIND "${err}" "bad --click '5,1'" at)
if(NOT rc EQUAL 2 OR at EQUAL -1)
  message(FATAL_ERROR "--click without a time: exit status ${rc}, ${err}")
endif()
