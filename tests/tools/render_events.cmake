# The example worlds of data/events through orvane-render, as a user tries
# them: each run's picture is compared with another's (same or different).
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in script mode
file(MAKE_DIRECTORY ${OUT}/events)
# Renders `scene` with the extra arguments; the picture is <name>.png, or with
# --frames the last of <name>-0.png, <name>-1.png, ...
function(render name scene)
  set(output ${OUT}/events/${name}.png)
  set(last ${output})
  if("--frames" IN_LIST ARGN)
    set(output ${OUT}/events/${name}-%d.png)
    list(FIND ARGN "--frames" at)
    math(EXPR at "${at} + 1")
    list(GET ARGN ${at} frames)
    math(EXPR frames "${frames} - 1")
    set(last ${OUT}/events/${name}-${frames}.png)
  endif()
  execute_process(
    COMMAND ${RENDER} ${scene} -o ${output} --size 120x110 --standard-nodes ${STANDARD} ${ARGN}
    WORKING_DIRECTORY ${DATA}/events RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "orvane-render ${scene} ${ARGN} failed (${rc}): ${err}")
  endif()
  file(SHA256 ${last} hash)
  set(hash_${name} ${hash} PARENT_SCOPE)
  set(err_${name} "${err}" PARENT_SCOPE)
endfunction()
function(expect a relation b why)
  if((relation STREQUAL "same" AND NOT hash_${a} STREQUAL hash_${b}) OR
     (relation STREQUAL "differs" AND hash_${a} STREQUAL hash_${b}))
    message(FATAL_ERROR "${why}: ${a} and ${b} are not ${relation}")
  endif()
endfunction()

# The door swings when the viewer stands near it (the sensor sees the viewer
# at the first step, the swing takes a second), not from far away.
render(far_start door.wrl --time 0)
render(far_later door.wrl --frames 4 --fps 2)
render(near_start door.wrl --viewpoint Near --time 0)
render(near_later door.wrl --viewpoint Near --frames 4 --fps 2)
expect(far_start same far_later "the door moved with the viewer far from it")
expect(near_start differs near_later "the door did not open for a viewer near it")
# Holding the pointer on the sphere binds Top until the release; the Anchor binds Side.
render(front viewpoints.wrl --time 1)
render(held viewpoints.wrl --click 40,55@0.5 --time 1)
render(anchor viewpoints.wrl --click 80,55@0.5 --time 1)
render(side viewpoints.wrl --viewpoint Side --time 1)
expect(front same held "the view after a released press")
expect(anchor same side "the Anchor's #Side")
# The morph and the Script colour change the picture as time goes.
render(morph_0 morph.wrl --time 0)
render(morph_half morph.wrl --time 0.5)
expect(morph_0 differs morph_half "the morph")
foreach(name IN ITEMS far_start near_later held anchor morph_half)
  if(NOT err_${name} MATCHES "^orvane-render: wrote [0-9]+ pictures? ")
    message(FATAL_ERROR "${name}: unexpected messages: ${err_${name}}")
  endif()
endforeach()
