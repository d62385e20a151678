# Renders t3.wrl at two times and in wireframe; the pictures must differ
# (the animation moves, wireframe is not Gouraud) and the tool must succeed.
foreach(run "t0;--time;0" "t3;--time;3" "wire;--quality;wireframe")
  list(GET run 0 name)
  list(SUBLIST run 1 -1 extra)
  execute_process(
    COMMAND ${RENDER} t3.wrl -o ${OUT}/t3_${name}.png --size 320x240 --standard-nodes ${STANDARD} ${extra}
    WORKING_DIRECTORY ${DATA} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "orvane-render ${extra} failed (${rc}): ${err}")
  endif()
  file(SHA256 ${OUT}/t3_${name}.png hash_${name})
endforeach()
if(hash_t0 STREQUAL hash_t3)
  message(FATAL_ERROR "t3.wrl looks the same at 0 s and 3 s: the animation did not move")
endif()
if(hash_t0 STREQUAL hash_wire)
  message(FATAL_ERROR "wireframe looks the same as Gouraud")
endif()

# The same scene gzip-compressed (beside its textures) renders the same picture:
# the tool knows it by its first bytes, not by its name.
file(REMOVE_RECURSE ${OUT}/gz)
file(COPY ${DATA}/textures DESTINATION ${OUT}/gz)
file(ARCHIVE_CREATE OUTPUT ${OUT}/gz/t3.gz PATHS ${DATA}/t3.wrl FORMAT raw COMPRESSION GZip)
file(RENAME ${OUT}/gz/t3.gz ${OUT}/gz/t3.wrl)
execute_process(
  COMMAND ${RENDER} t3.wrl -o ${OUT}/t3_gz.png --size 320x240 --standard-nodes ${STANDARD} --time 0
  WORKING_DIRECTORY ${OUT}/gz RESULT_VARIABLE rc ERROR_VARIABLE err)
file(READ ${OUT}/gz/t3.wrl magic LIMIT 2 HEX)
file(SHA256 ${OUT}/t3_gz.png hash_gz)
if(NOT rc EQUAL 0 OR NOT magic STREQUAL "1f8b" OR NOT hash_gz STREQUAL hash_t0)
  message(FATAL_ERROR "the gzip-compressed t3.wrl (magic ${magic}) rendered differently (${rc}): ${err}")
endif()
